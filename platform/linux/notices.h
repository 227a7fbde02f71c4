// What the platform must tell the user that no Windows error code carries:
// a COM port that is the system console, a serial store with a fault in it.
#pragma once

#include <string>

// Says `text` on stderr, and to the handler when one is set (the program's
// start-up sets one that shows a message box). Any thread; the caller holds
// no lock of the layer, since the handler may wait for the user.
void PlatNotice(const std::string& text);
void PlatSetNoticeHandler(void (*handler)(const std::string& text));
