// The dialogs' words that mptest-cli says too, as data: the command line
// and the dialogs can never word the same outcome two ways.
#pragma once

#include "platform/win32.h"

// The test pages: no port chosen, the engine refused the send.
extern const char kNoPortText_T[];
extern const char kRefusedText_T[];
// The USB string check.
extern const char kUsbNotChosenText_T[];
extern const char kUsbAwayText_T[];
extern const char kUsbReadFailedText_T[];

// The download dialogs.
extern const char kDownloadDoneText_Dw[];
extern const char kDownloadFailedText_Dw[];
extern const char kDownloadRefusedText_Dw[];
extern const char kPrnNumIllegalText_Dw[];
extern const char kPrnNumWrittenText_Dw[];
extern const char kPrnNumWriteFailedText_Dw[];
extern const char kPrnNumPrintedText_Dw[];
extern const char kPrnNumPrintFailedText_Dw[];
// The message box's words when a port of this type does not open.
const char* PortOpenFailedText_Dw(BYTE portType);
