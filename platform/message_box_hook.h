// The hook tests set on message boxes, on every system: MessageBoxA asks it
// first (the Qt layer's, the windowless one's, and PlatMessageBoxA on
// Windows), so a test records boxes instead of facing them. mptest never
// sets it; the windowless program uses it as its sink on Linux.
#pragma once

#include "platform/win32.h"

#include <functional>

// Answers every MessageBoxA instead of showing it, on whichever thread asks:
// gets the owner, text, caption and flags, returns the button's id (IDOK ...).
// Called outside any lock of the layer, so it may block or take its own
// locks; an empty function shows boxes again.
using PlatMessageBoxHook = std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
void PlatSetMessageBoxHook(PlatMessageBoxHook hook);

// What MessageBoxA asks first: true and the hook's answer while one is set.
bool PlatMessageBoxHooked(HWND owner, const char* text, const char* caption, UINT type, int& answer);
