// mptest-cli's run: the command line read into one job, the job run through
// the send engine with the bytes the dialogs build, and its outcome written
// as the dialog would say it, as plain text or JSON.
#include "cli/cli.h"

#include "cli/options.h"
#include "cli/passes.h"
#include "cli/report.h"
#include "platform/comdevices.h"
#include "platform/station.h"
#include "port/port.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

HANDLE CliStopEvent()
{
    static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}

void CliRequestStop()
{
    gCliStop = true;
    SetEvent(CliStopEvent());
}

void CliMessageBox(const char* text, const char* caption)
{
    const bool named = caption != nullptr && *caption != '\0' && std::strcmp(caption, "Error") != 0;
    std::fprintf(stderr, "mptest-cli: %s%s%s\n", named ? caption : "", named ? ": " : "", text);
}

int CliMain(int argc, char** argv)
{
    gCliStop = false;
    ResetEvent(CliStopEvent());
    gCliQuiet = false;
    gCliJson = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("mptest-cli %s\n", MPTEST_VERSION);
            return kExitOk;
        }
    }
    if (argc == 2 && std::strcmp(argv[1], "-h") == 0) {
        PrintMainHelp();
        return kExitOk;
    }
    std::string helpFor = "mptest-cli";
    for (int i = 1; i < argc && helpFor == "mptest-cli"; ++i)
        for (const CliCommand& c : CliCommands())
            if (std::strcmp(argv[i], c.name) == 0)
                helpFor += std::string(" ") + c.name;
    try {
        const CommandLine line = ParseCommandLine(argc, argv);
        if (line.has("--help")) {
            if (line.command == nullptr)
                PrintMainHelp();
            else
                PrintCommandHelp(*line.command);
            return kExitOk;
        }
        gCliJson = line.has("--json");
        gCliQuiet = line.has("--quiet");
        // scripts/run --shell exports the virtual printers' root; an explicit option wins.
        const char* rootFromEnvironment = std::getenv("MPTEST_DEVICE_ROOT");
        if (line.has("--device-root") || (rootFromEnvironment != nullptr && *rootFromEnvironment != '\0')) {
            std::string why;
            const bool explicitRoot = line.has("--device-root");
            if (!PlatUseDeviceRoot(explicitRoot ? line.value("--device-root") : rootFromEnvironment, &why))
                throw UsageError{explicitRoot ? why : "环境变量 MPTEST_DEVICE_ROOT：" + why};
        }
        InitPort();
        int code = kExitFailed;
        try {
            code = line.command->run(line);
        } catch (...) {
            EndSend();
            PortRelease();
            throw;
        }
        // The sending thread is gone before the port is released.
        EndSend();
        PortRelease();
        PlatUseComDevice(gLptComNameMap.back().text, "");
        return code;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "mptest-cli: %s（见 %s --help）\n", error.text.c_str(), helpFor.c_str());
        return kExitUsage;
    }
}
