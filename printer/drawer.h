// The drawer kick with a chosen pin and pulse: ESC p m t1 t2, the times in
// 2 ms units. A kick repeated N times goes out as N sends of the same bytes
// with a pause of the interval between the end of one send and the start of
// the next (the printer has no command that waits), in the dialog and in
// mptest-cli alike.
#pragma once

#include "platform/win32.h"

#include <string>

constexpr int kDrawerMinMs = 2;
constexpr int kDrawerMaxMs = 510;
constexpr int kDrawerMaxTimes = 100;
constexpr int kDrawerMaxIntervalMs = 60000;

struct DrawerJob {
    int pin = 2;        // 2 or 5
    int onMs = 100;     // pulse on, 2..510 ms
    int offMs = 100;    // pulse off, 2..510 ms
    int times = 1;      // kicks, 1..100
    int intervalMs = 500; // pause between kicks, 0..60000 ms
};

// nullptr when the job is in range, else why not (Chinese).
const char* CheckDrawerJob(const DrawerJob& job);
// The byte a time becomes: ms / 2 (an odd time rounds down to the unit).
BYTE DrawerPulseUnits(int ms);
// ESC p m t1 t2 for one kick (m 0 for pin 2, 1 for pin 5); empty for a
// job CheckDrawerJob refuses.
std::string DrawerKickBytes(const DrawerJob& job);
