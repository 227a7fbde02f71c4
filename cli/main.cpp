// mptest-cli's entry point, the same on every system: the window layer
// started without a display, the send state and port I/O made ready, and
// Ctrl-C (or SIGTERM) turned into the console's stop.
#include "cli/cli.h"
#include "platform/station.h"
#include "port/portio.h"
#include "res/resources.h"
#include "send/send.h"

#include <csignal>

namespace {

extern "C" void OnStopSignal(int)
{
    CliRequestStop();
}

} // namespace

int main(int argc, char** argv)
{
    ResRegister();
    PlatStartConsoleProgram(CliMessageBox);
    UtilInit();
    // Without port I/O the parallel port is simply unreachable; the other ports still work.
    const bool portIo = InitializeWinIo() != FALSE;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    const int code = CliMain(argc, argv);
    if (portIo)
        ShutdownWinIo();
    UtilRelease();
    return code;
}
