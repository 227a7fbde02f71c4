// mptest-cli's entry point, the same on every system: a program without
// windows whose message boxes go to standard error, the send state and port
// I/O made ready, and
// Ctrl-C, SIGTERM or SIGHUP (a closed ssh session) turned into the
// console's stop.
#include "cli/cli.h"
#include "platform/station.h"
#include "port/portio.h"
#include "send/send.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    PlatCatchStopSignals(CliRequestStop); // before any thread starts
    PlatStartConsoleProgram(CliMessageBox);
    UtilInit();
    // Without port I/O the parallel port is simply unreachable; the other ports still work.
    const bool portIo = InitializeWinIo() != FALSE;
    int code = CliMain(argc, argv);
    if (portIo)
        ShutdownWinIo();
    UtilRelease();
    // A report that did not reach standard output is no success.
    int lost = std::fflush(stdout) != 0 ? errno : 0;
    const bool failed = std::ferror(stdout) != 0;
    if (std::fclose(stdout) != 0 && lost == 0)
        lost = errno;
    if (failed || lost != 0) {
        std::fprintf(stderr, "mptest-cli: 无法写入标准输出%s%s\n", lost != 0 ? "：" : "", lost != 0 ? std::strerror(lost) : "");
        if (code == kExitOk)
            code = kExitFailed;
    }
    return code;
}
