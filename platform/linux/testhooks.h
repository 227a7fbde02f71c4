// Hooks for tests, the demo and the benchmark; mptest never includes this.
// The windowless message box (platform/linux/console_program.cpp) asks the
// hook first too. What the layer asks of them is declared
// in platform/linux/kernel.h.
#pragma once

#include "platform/win32.h"

#include <functional>

// Scales Sleep and every device time-out (1.0 = real time, the program's
// value). Tests that need many one-second pauses may run faster; at least
// one test per pause runs at 1.0. Floored at 0.001.
void PlatSetTimeScale(double scale);

// Answers every MessageBoxA instead of showing it, on whichever thread asks:
// gets the owner, text, caption and flags, returns the button's id (IDOK ...).
// Tests record boxes with it. Called outside any lock of the layer, so it may
// block or take its own locks; an empty function shows boxes again.
using PlatMessageBoxHook = std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
void PlatSetMessageBoxHook(PlatMessageBoxHook hook);
