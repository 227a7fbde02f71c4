// The command line's tables, parser and help.
#include "cli/options.h"

#include "cli/jobs.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

const CliOption kPort{"--port", "PORT", "parallel、usb、COM1 … COM7、网络打印机 tcp:HOST[:PORT]（端口默认 9100，IPv6 地址加方括号），或（Linux）设备路径如 /dev/ttyUSB0"};
const CliOption kConnectTimeout{"--connect-timeout", "S", "连接网络打印机最多等 S 秒（1 … 120，默认 5）"};
const CliOption kSerial{"--serial", "BAUD,DATA,PARITY,STOP,FLOW",
                         "串口参数，例如 19200,8,N,1,none（PARITY: N E O M S；FLOW: none、xon-xoff 或 rts-cts（也读 xonxoff、hardware））；"
                         "默认为该 COM 口保存的设置，否则 9600,8,N,1,none"};
const CliOption kRoot{"--device-root", "DIR", "在 DIR/dev 和 DIR/sys 下查找设备，同 mptest；默认取环境变量 MPTEST_DEVICE_ROOT"};
const CliOption kJson{"--json", nullptr, "每个作业在标准输出写一个 JSON 对象"};
const CliOption kQuiet{"--quiet", nullptr, "标准错误只写错误"};
const CliOption kHelp{"--help", nullptr, "显示本说明"};
// Taken before or after the command, by every command.
const std::array<const CliOption*, 4> kGlobalOptions{&kJson, &kQuiet, &kRoot, &kHelp};


} // namespace

const std::vector<CliCommand>& CliCommands()
{
    static const std::vector<CliCommand> commands{
        {"ports", "ports [--json]", "列出 COM1 … COM7 及其设备和保存的设置、找到的 USB 打印机、并口是否可用、保存的网络打印机",
         {kRoot, kJson, kHelp}, RunPorts},
        {"send", "send --port PORT (--hex \"1B 40 0A\" | --text TEXT | --file PATH) [--repeat N]",
         "命令输入窗口的三种发送：十六进制、文本（按 GBK 发送）、命令文件；--repeat N 发送 N 遍，遍间停顿同窗口",
         {kPort, kSerial, kConnectTimeout, kRoot, {"--hex", "HEX", "十六进制命令，如 \"1B 40 0A\""}, {"--text", "TEXT", "文本，按 GBK 发送"},
          {"--file", "PATH", "命令文件（最大 5 MiB）"}, {"--repeat", "N", "发送 N 遍（默认 1）"}, kJson, kQuiet, kHelp},
         RunSend},
        {"test", "test NAME --port PORT [选项] | test --list",
         "测试窗口的内置测试打印；test --list 列出全部名称及其选项",
         {kPort, kSerial, kConnectTimeout, kRoot, {"--list", nullptr, "列出测试名称"}, {"--pattern", "asc|H|I", "latin: 字符图案（默认 asc）"},
          {"--font", "7x9|9x9", "latin: 字体（默认 7x9）"}, {"--double-width", nullptr, "latin、chinese: 倍宽"},
          {"--double-height", nullptr, "latin、chinese: 倍高"}, {"--underline", nullptr, "latin、chinese: 下划线"},
          {"--passes", "N", "latin: 打印 N 遍（默认 1）"}, {"--zone", "1..5", "chinese: 汉字区（默认 1）"},
          {"--cut", nullptr, "black-mark-test: 打印后切纸"}, kJson, kQuiet, kHelp},
         RunTest},
        {"firmware", "firmware FILE --port PORT",
         "下载程序：写入固件文件，只经并口或 USB 口（同下载程序窗口）；并口先发送进入下载状态命令", {kPort, kSerial, kConnectTimeout, kRoot, kJson, kQuiet, kHelp}, RunFirmware},
        {"font", "font FILE --port PORT",
         "下载字库：写入字库文件；串口先切换速率并等待打印机应答", {kPort, kSerial, kConnectTimeout, kRoot, kJson, kQuiet, kHelp}, RunFont},
        {"machine-number", "machine-number (NUMBER | --next-from FILE) --port PORT [--print] [--log CSV]",
         "写入 12 位机器码（字母和数字）；--print 随后让打印机打印它",
         {kPort, kSerial, kConnectTimeout, kRoot,
          {"--next-from", "FILE", "从计数文件取下一个号码（前缀加数字，如 KQ5800000001）；打印机收下后计数文件才前进，"
                                  "读、写打印机、更新全程独占锁定"},
          {"--print", nullptr, "写入后打印机器码"},
          {"--log", "CSV", "每次尝试追加一行：时间(ISO 8601),主机,端口,设备,号码,结果(ok|failed)"}, kJson, kQuiet, kHelp},
         RunMachineNumber},
        {"image", "image FILE --port PORT [--width DOTS] [--dither threshold|floyd-steinberg|atkinson] [--threshold 0-255] "
                  "[--brightness -100..100] [--invert] [--raster] [--band-feed N]",
         "打印机工具·图片打印：PNG、BMP 或 JPEG 图片，按宽度缩放、调亮度、抖动成单色点后，以 ESC * 8 点单密度图带（或 GS v 0 光栅）打印",
         {kPort, kSerial, kRoot, {"--width", "DOTS", "宽度（点，1 … 2048；默认 210，即本系列一整行；热敏打印机常为 384 或 576）"},
          {"--dither", "threshold|floyd-steinberg|atkinson", "抖动方法（默认 floyd-steinberg）"},
          {"--threshold", "0-255", "threshold 的阈值（默认 128）"}, {"--brightness", "-100..100", "亮度（默认 0）"},
          {"--invert", nullptr, "反色"}, {"--raster", nullptr, "用 GS v 0 光栅（每段最多 255 行）代替 ESC * 图带"},
          {"--band-feed", "N", "每个图带后的 ESC J 走纸量（默认 16，本系列 8 点为 16 个单位；热敏打印机用 8）"}, kJson, kQuiet,
          kHelp},
         RunImage},
        {"codepage", "codepage (N | --all) --port PORT",
         "打印机工具·代码页：用 ESC t N 打印字节 80 … FF 的 16 × 8 字符表（先退出汉字模式，之后 ESC @ 复位）；--all 依次打印常用的十个表",
         {kPort, kSerial, kRoot, {"--all", nullptr, "依次打印 PC437、Katakana、PC850、PC860、PC863、PC865、WPC1252、PC866、PC852、PC858"},
          kJson, kQuiet, kHelp},
         RunCodePage},
        {"drawer", "drawer --port PORT [--pin 2|5] [--on MS] [--off MS] [--times N] [--interval MS]",
         "打印机工具·钱箱：ESC p 按所选引脚和脉冲宽度开钱箱，可连续多次",
         {kPort, kSerial, kRoot, {"--pin", "2|5", "钱箱引脚（默认 2）"}, {"--on", "MS", "脉冲接通时间，2 … 510 毫秒，以 2 毫秒为单位（默认 100）"},
          {"--off", "MS", "脉冲断开时间，2 … 510 毫秒（默认 100）"}, {"--times", "N", "连续开 N 次，1 … 100（默认 1）"},
          {"--interval", "MS", "两次之间的间隔，0 … 60000 毫秒（默认 500）"}, kJson, kQuiet, kHelp},
         RunDrawer},
        {"info", "info --port PORT", "打印机工具·打印机信息：用 GS I 1、2、3 询问型号、类型和固件版本；没有应答的项显示“无应答”，退出码 1",
         {kPort, kSerial, kRoot, kJson, kQuiet, kHelp}, RunInfo},
    };
    return commands;
}

void PrintMainHelp()
{
    std::printf("用法: mptest-cli 命令 [选项]\n\n命令:\n");
    for (const CliCommand& c : CliCommands())
        std::printf("  %-16s %s\n", c.name, c.summary);
    std::printf("\n每个命令的选项: mptest-cli 命令 --help\n"
                "全局选项: --json  --quiet  --device-root DIR  --help  --version（写在命令之前或之后均可；"
                "--device-root 默认取环境变量 MPTEST_DEVICE_ROOT）\n"
                "退出码: 0 成功；1 作业未完成（端口、打印机、文件或机器码的问题，或日志、标准输出写不进去）；"
                "2 用法错误；130 被 Ctrl-C、SIGTERM 或 SIGHUP 结束发送\n");
}

void PrintCommandHelp(const CliCommand& c)
{
    std::printf("用法: mptest-cli %s\n%s\n\n选项:\n", c.usage, c.summary);
    for (const CliOption& o : c.options)
        std::printf("  %s%s%s\n      %s\n", o.name, o.value ? " " : "", o.value ? o.value : "", o.help);
}

// The command line; without a command only for --help.
CommandLine ParseCommandLine(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool option = arg.size() >= 3 && arg.compare(0, 2, "--") == 0;
        if (!option && line.command == nullptr) {
            for (const CliCommand& c : CliCommands())
                if (arg == c.name)
                    line.command = &c;
            if (line.command == nullptr)
                throw UsageError{"未知命令 \"" + arg + "\""};
            continue;
        }
        if (!option) {
            line.positional.push_back(arg);
            continue;
        }
        const CliOption* known = nullptr;
        for (const CliOption* o : kGlobalOptions)
            if (arg == o->name)
                known = o;
        if (line.command != nullptr)
            for (const CliOption& o : line.command->options)
                if (arg == o.name)
                    known = &o;
        if (known == nullptr)
            throw UsageError{line.command == nullptr ? "未知选项 " + arg
                                                     : "命令 " + std::string(line.command->name) + " 没有选项 " + arg};
        if (known->value == nullptr) {
            line.switches[arg] = true;
        } else {
            if (i + 1 >= argc)
                throw UsageError{arg + " 需要参数 " + known->value};
            line.values[arg] = argv[++i];
        }
    }
    if (line.command == nullptr && !line.has("--help"))
        throw UsageError{"缺少命令"};
    return line;
}

namespace {

// A whole number in low..high, the text naming it when it is not one.
long long NumberOption(const CommandLine& line, const char* option, long long low, long long high)
{
    const std::string text = line.value(option);
    char* end = nullptr;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < low || n > high)
        throw UsageError{std::string(option) + " 的值 \"" + text + "\" 不在 " + std::to_string(low) + " … " +
                         std::to_string(high) + " 之内"};
    return n;
}

} // namespace

unsigned CountOption(const CommandLine& line, const char* option, unsigned low, unsigned high)
{
    return CountOption(line, option, low, high, low);
}

unsigned CountOption(const CommandLine& line, const char* option, unsigned low, unsigned high, unsigned fallback)
{
    return line.has(option) ? static_cast<unsigned>(NumberOption(line, option, low, high)) : fallback;
}

int SignedOption(const CommandLine& line, const char* option, int low, int high, int fallback)
{
    return line.has(option) ? static_cast<int>(NumberOption(line, option, low, high)) : fallback;
}

std::string OneOf(const CommandLine& line, size_t index, std::initializer_list<const char*> words, const std::string& job)
{
    if (line.positional.size() <= index)
        throw UsageError{job + " 缺少参数"};
    const std::string word = line.positional[index];
    for (const char* w : words)
        if (word == w)
            return word;
    throw UsageError{job + " 不接受 \"" + word + "\""};
}

