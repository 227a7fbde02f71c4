// mptest's command-line options on this system, one row each. The program
// itself reads no command line; an option here acts through the platform,
// as a command posted to the first window the program opens.
#include "platform/seams.h"
#include "platform/win32.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

constexpr WORD kEppConsoleCommand = 40028; // the main window's command for the EPP console

std::mutex gOptionsLock;
std::vector<unsigned> gStartCommands;

struct PlatOption {
    const char* name;
    const char* help;
    void (*apply)();
};

const std::array<PlatOption, 1> kOptions{{
    {"--epp", "open the EPP console at start", [] { gStartCommands.push_back(kEppConsoleCommand); }},
}};

void PrintUsage(FILE* out)
{
    std::fprintf(out, "usage: mptest [option]...\n");
    for (const PlatOption& option : kOptions)
        std::fprintf(out, "  %-12s %s\n", option.name, option.help);
    std::fprintf(out, "  %-12s %s\n", "--help", "show this text");
}

} // namespace

int PlatParseCommandLine(int argc, char** argv)
{
    std::lock_guard<std::mutex> g(gOptionsLock);
    gStartCommands.clear();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            PrintUsage(stdout);
            return 0;
        }
        const PlatOption* found = nullptr;
        for (const PlatOption& option : kOptions)
            if (std::strcmp(arg, option.name) == 0)
                found = &option;
        if (found == nullptr) {
            std::fprintf(stderr, "mptest: unknown option '%s'\n", arg);
            PrintUsage(stderr);
            gStartCommands.clear();
            return 2;
        }
        found->apply();
    }
    return -1;
}

std::vector<unsigned> PlatTakeStartCommands()
{
    std::lock_guard<std::mutex> g(gOptionsLock);
    std::vector<unsigned> commands;
    commands.swap(gStartCommands);
    return commands;
}
