// The platform's own command-line options: what mptest takes on this system
// beyond the Windows program, which ignores its command line. One row per
// option; the program's entry point applies them before WinMain.
#include "platform/linux/options.h"
#include "platform/linux/roots.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace {

constexpr unsigned kEppConsoleCommand = 40028; // the main window's command for the EPP console

std::mutex gStartLock;
std::vector<unsigned> gStartCommands;    // guarded by gStartLock
std::vector<std::string> gStartWarnings; // guarded by gStartLock

// Moves the device and system roots under DIR, where the virtual printer
// (mptest-printer usb --root DIR) makes its USB printer; COM ports without a
// stored device then stand for DIR/dev/ttySn, never the machine's own lines.
// A printer that ended took away the DIR it made: the program starts all the
// same, says so, and finds the printer there once it runs again. A DIR that
// is a file is a mistake and refused.
bool DeviceRoot(const char* dir, std::string* why)
{
    struct stat st;
    const bool exists = stat(dir, &st) == 0;
    if (exists && !S_ISDIR(st.st_mode)) {
        *why = std::string("设备根目录 ") + dir + " 不是目录";
        return false;
    }
    if (!exists) {
        const std::string warning = std::string("设备根目录 ") + dir +
                                    " 不存在，它的虚拟打印机可能已经结束。mptest 照常启动；用 mptest-printer usb --root " +
                                    dir + " 重新启动打印机后即可使用。";
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, warning.c_str());
        std::lock_guard<std::mutex> g(gStartLock);
        gStartWarnings.push_back(warning);
    }
    const std::string root = dir;
    PlatSetRootPath(PlatRoot::Dev, root + "/dev");
    PlatSetRootPath(PlatRoot::Sys, root + "/sys");
    return true;
}

// The EPP console has no menu item: the option is the technician's way to it.
bool OpenEppConsole(const char*, std::string*)
{
    std::lock_guard<std::mutex> g(gStartLock);
    gStartCommands.push_back(kEppConsoleCommand);
    return true;
}

struct Option {
    const char* name;
    const char* value; // the value's name in the help, nullptr for none
    const char* help;
    bool (*apply)(const char* value, std::string* why);
};

constexpr std::array kOptions{
    Option{"--device-root", "DIR", "在 DIR/dev 和 DIR/sys 下查找设备（虚拟打印机 mptest-printer usb --root DIR）",
           DeviceRoot},
    Option{"--epp", nullptr, "启动时打开 EPP 控制台", OpenEppConsole},
};

void Usage(FILE* to, const char* program)
{
    std::fprintf(to, "用法: %s [选项]\n选项:\n", program);
    for (const Option& o : kOptions)
        std::fprintf(to, "  %s %s\n      %s\n", o.name, o.value ? o.value : "", o.help);
    std::fprintf(to, "  --version\n      显示版本号\n  --help\n      显示本说明\n");
}

} // namespace

int PlatTakeOptions(int argc, char** argv)
{
    {
        std::lock_guard<std::mutex> g(gStartLock);
        gStartCommands.clear();
        gStartWarnings.clear();
    }
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "mptest";
    if (const char* slash = std::strrchr(program, '/'))
        program = slash + 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            Usage(stdout, program);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("mptest %s\n", MPTEST_VERSION);
            return 0;
        }
        const Option* option = nullptr;
        for (const Option& o : kOptions)
            if (std::strcmp(arg, o.name) == 0)
                option = &o;
        std::string why;
        if (option == nullptr) {
            why = std::string("未知选项 ") + arg;
        } else if (option->value != nullptr && i + 1 >= argc) {
            why = std::string(arg) + " 需要参数 " + option->value;
        } else if (option->apply(option->value != nullptr ? argv[++i] : nullptr, &why)) {
            continue;
        }
        std::fprintf(stderr, "%s: %s\n", program, why.c_str());
        Usage(stderr, program);
        return 2;
    }
    return -1;
}

std::vector<unsigned> PlatTakeStartCommands()
{
    std::lock_guard<std::mutex> g(gStartLock);
    std::vector<unsigned> commands;
    commands.swap(gStartCommands);
    return commands;
}

std::vector<std::string> PlatTakeStartWarnings()
{
    std::lock_guard<std::mutex> g(gStartLock);
    std::vector<std::string> warnings;
    warnings.swap(gStartWarnings);
    return warnings;
}
