// The port a job opens, from --port and --serial, storing nothing.
#pragma once

#include "platform/win32.h"

#include <string>

struct CommandLine;

struct PortChoice {
    BYTE type = 0;      // a PortType
    std::string name;   // as the user wrote it
    std::string device; // what it opens
};

// Chooses the port the job opens and sets the serial line up; a bad port
// name or --serial is a usage error.
PortChoice ChoosePort(const CommandLine& line);
// Opens the chosen port into gCurrentPort; false with the dialogs' two lines
// in *message: what failed, and the device with what keeps it from opening.
bool OpenChosenPort(PortChoice& port, std::string* message);
// The USB printer's device as a path, without the pipe the port layer adds.
std::string UsbDevicePath();
