// The test dialog's prints as one job each: a table of tests, each with the
// builder of its bytes from the command line.
#include "cli/jobs.h"

#include "cli/cli.h"
#include "cli/options.h"
#include "cli/passes.h"
#include "port/port.h"
#include "printer/testprint.h"
#include "res/texts.h"
#include "send/send.h"

#include <array>
#include <cstdio>
#include <span>

namespace {

// The Latin test repeats until stopped in the dialog; here --passes says
// how often. Every other print goes once.
constexpr WORD kTestFlags = SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE;

struct CliTest {
    const char* name;
    const char* synopsis;
    size_t arguments;
    // The bytes from the command line; *passes is 1 unless the test repeats.
    std::string (*build)(const CommandLine& line, unsigned* passes);
};

std::string Argument(const CommandLine& line, std::initializer_list<const char*> words)
{
    return OneOf(line, 1, words, "test " + line.positional.front());
}

BYTE Modes(const CommandLine& line, BYTE width, BYTE height, BYTE underline)
{
    return static_cast<BYTE>((line.has("--double-width") ? width : 0) | (line.has("--double-height") ? height : 0) |
                             (line.has("--underline") ? underline : 0));
}

std::string Latin(const CommandLine& line, unsigned* passes)
{
    const std::string pattern = line.has("--pattern") ? line.value("--pattern") : "asc";
    const std::string font = line.has("--font") ? line.value("--font") : "7x9";
    if (pattern != "asc" && pattern != "H" && pattern != "I")
        throw UsageError{"--pattern 只能是 asc、H 或 I"};
    if (font != "7x9" && font != "9x9")
        throw UsageError{"--font 只能是 7x9 或 9x9"};
    const BYTE modes = static_cast<BYTE>(Modes(line, kLatinDoubleWidth, kLatinDoubleHeight, kLatinUnderline) |
                                         (font == "7x9" ? kLatinFont7x9 : 0));
    *passes = CountOption(line, "--passes", 1, 1000000);
    return LatinTestBytes(modes, pattern == "asc" ? LatinPattern::Letters
                                 : pattern == "H" ? LatinPattern::H
                                                  : LatinPattern::I);
}

std::string Chinese(const CommandLine& line, unsigned*)
{
    const unsigned zone = CountOption(line, "--zone", 1, kGbkZoneCount);
    return GbkTestBytes(Modes(line, kGbkDoubleWidth, kGbkDoubleHeight, kGbkUnderline), static_cast<int>(zone) - 1);
}

std::string BlackMark(const CommandLine& line, unsigned*)
{
    return BlackMarkBytes(Argument(line, {"on", "off"}) == "on" ? 1 : 2, false, "");
}

std::string BlackMarkDistance(const CommandLine& line, unsigned*)
{
    const std::string which = Argument(line, {"A", "B", "C"});
    if (line.positional.size() < 3)
        throw UsageError{"test black-mark-distance 缺少距离（毫米）"};
    return BlackMarkBytes(3 + (which[0] - 'A'), false, line.positional[2].c_str());
}

std::string BlackMarkTest(const CommandLine& line, unsigned*)
{
    return BlackMarkBytes(0, line.has("--cut"), "");
}

std::string Current(const CommandLine& line, unsigned*)
{
    const std::string part = Argument(line, {"carriage", "feed", "pins"});
    return DianliuBytes(part == "carriage" ? 0 : part == "feed" ? 1 : 2);
}

std::string AllBlack(const CommandLine&, unsigned*)
{
    return BlackImgBytes();
}

std::string Sample(const CommandLine&, unsigned*)
{
    return DotsBytes();
}

std::string Drawer(const CommandLine& line, unsigned*)
{
    return CasherBytes(Argument(line, {"1", "2"}) == "1" ? 0 : 1);
}

std::string Cut(const CommandLine& line, unsigned*)
{
    return CutterBytes(Argument(line, {"full", "partial"}) == "full" ? 1 : 0);
}

std::string Cutter(const CommandLine& line, unsigned*)
{
    return CutterSwBytes(Argument(line, {"on", "off"}) == "on" ? 1 : 0);
}

std::string Baud(const CommandLine& line, unsigned*)
{
    const std::string index = Argument(line, {"0", "1", "2", "3", "4", "5"});
    return SetComBytes(static_cast<BYTE>(index[0] - '0'));
}

// The USB string check goes straight to the handle, not through the engine.
const std::array<CliTest, 14> kTests{{
    {"latin", "latin --pattern asc|H|I --font 7x9|9x9 [--double-width] [--double-height] [--underline] [--passes N]", 0,
     Latin},
    {"chinese", "chinese --zone 1..5 [--double-width] [--double-height] [--underline]", 0, Chinese},
    {"black-mark", "black-mark on|off", 1, BlackMark},
    {"black-mark-distance", "black-mark-distance A|B|C VALUE   (毫米，负数直接写：A -30)", 2, BlackMarkDistance},
    {"black-mark-test", "black-mark-test [--cut]", 0, BlackMarkTest},
    {"current", "current carriage|feed|pins", 1, Current},
    {"all-black", "all-black", 0, AllBlack},
    {"sample", "sample", 0, Sample},
    {"drawer", "drawer 1|2", 1, Drawer},
    {"cut", "cut full|partial", 1, Cut},
    {"cutter", "cutter on|off", 1, Cutter},
    {"baud", "baud INDEX   (0..5: 1200 2400 4800 9600 19200 38400)", 1, Baud},
    {"usb-write", "usb-write", 0, nullptr},
    {"usb-read", "usb-read   (打印机存的字符串写到标准输出)", 0, nullptr},
}};

int RunUsbString(Job& job, bool write)
{
    if (job.port.type != PORT_USB) {
        job.message = kUsbNotChosenText_T;
        return Finish(job);
    }
    gCurrentPort.type = PORT_USB; // the page's radio
    std::string readBack;
    const char* failure = UsbStringTest(write ? 0 : 1, &readBack);
    job.port.device = UsbDevicePath();
    job.ok = failure == nullptr;
    job.message = failure != nullptr ? failure : write ? kUsbStoredString : readBack;
    job.bytes = write ? UsbStringWriteBytes().size() : UsbStringReadBytes().size();
    PortRelease();
    return Finish(job);
}

} // namespace

int RunTest(const CommandLine& line)
{
    if (line.has("--list")) {
        for (const CliTest& t : kTests)
            std::printf("%s\n", t.synopsis);
        return kExitOk;
    }
    if (line.positional.empty())
        throw UsageError{"test 缺少测试名称（test --list 列出全部）"};
    const std::string name = line.positional.front();
    const CliTest* known = nullptr;
    for (const CliTest& t : kTests)
        if (name == t.name)
            known = &t;
    if (known == nullptr)
        throw UsageError{"未知测试 \"" + name + "\"（test --list 列出全部）"};
    if (line.positional.size() > known->arguments + 1)
        throw UsageError{"test " + name + " 多了参数 \"" + line.positional.back() + "\""};
    unsigned passes = 1;
    const std::string bytes = known->build != nullptr ? known->build(line, &passes) : std::string();
    Job job;
    job.name = "test " + name;
    job.port = ChoosePort(line);
    if (known->build == nullptr)
        return RunUsbString(job, name == "usb-write");
    if (!OpenJobPort(job))
        return Finish(job);
    SendCommandPasses(job, bytes, kTestFlags, passes, kRefusedText_T);
    if (job.ok)
        job.message.clear(); // the test pages say nothing when a print went
    return Finish(job);
}
