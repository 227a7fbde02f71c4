// What every benchmark that drives the real program does first: the
// program's resources and an offscreen Qt, then the program started as
// WinMain starts it, on a private folder standing for the system's.
#pragma once

#include "platform/linux/roots.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resources.h"
#include "send/send.h"

#include <cstdlib>
#include <fstream>
#include <string>

// Before the QApplication exists.
inline void BenchPrepareEnvironment()
{
    ResRegister();
    PlatTestPrepareEnvironment();
}

// After it: the private root (config, dev and sys folders under it), ports
// and send state ready. `config` is the store's folder below the root.
inline std::string BenchStartProgram(const std::string& config = "config")
{
    PlatTestRecordMessageBoxes();
    char pattern[] = "/tmp/mptest-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    PlatSetRootPath(PlatRoot::Config, root + "/" + config);
    PlatSetRootPath(PlatRoot::Dev, root + "/dev");
    PlatSetRootPath(PlatRoot::Sys, root + "/sys");
    UtilInit();
    InitializeWinIo();
    InitPort();
    return root;
}

// VmRSS or VmHWM of this process, in MiB (-1 when it cannot be read).
inline double BenchMemoryMiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field))
            return std::stod(line.substr(std::string(field).size() + 1)) / 1024.0;
    return -1;
}
