// Hooks for tests, the demo and the benchmark; mptest never includes this.
// The message-box hook is every system's (platform/message_box_hook.h). What
// the layer asks of them is declared in platform/linux/kernel.h.
#pragma once

#include "platform/message_box_hook.h"

// Scales Sleep and every device time-out (1.0 = real time, the program's
// value). Tests that need many one-second pauses may run faster; at least
// one test per pause runs at 1.0. Floored at 0.001.
void PlatSetTimeScale(double scale);
