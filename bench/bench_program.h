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
