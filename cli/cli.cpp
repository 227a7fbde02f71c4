// mptest-cli's commands: the command line read into one job, the job run
// through the send engine with the bytes the dialogs build, and its outcome
// written as the dialog would say it, as plain text or JSON.
#include "cli/cli.h"

#include "platform/comdevices.h"
#include "platform/station.h"
#include "port/port.h"
#include "port/portio.h"
#include "port/usb.h"
#include "res/resource.h"
#include "send/hex.h"
#include "send/send.h"
#include "printer/download.h"
#include "printer/testprint.h"
#include "printer/text.h"
#include "ui/console/console.h"
#include "ui/download/download.h"
#include "ui/testprint/testprint.h"

#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

namespace {

std::atomic<bool> gStop{false};
bool gQuiet = false;
bool gJson = false;

// A repeating send's pause between passes, as the console makes it.
constexpr DWORD kRepeatPauseMs = 300;
// The longest a station waits for another to let go of the counter file.
constexpr unsigned kCounterLockWaitMs = 30000;

// ---------------------------------------------------------------- the command line

struct CliOption {
    const char* name;
    const char* value; // nullptr: a switch
    const char* help;
};

const CliOption kPort{"--port", "PORT", "parallel、usb、COM1 … COM7，或（Linux）设备路径如 /dev/ttyUSB0"};
const CliOption kSerial{"--serial", "BAUD,DATA,PARITY,STOP,FLOW",
                         "串口参数，例如 19200,8,N,1,none（PARITY: N E O M S；FLOW: none xonxoff hardware）；"
                         "默认为该 COM 口保存的设置，否则 9600,8,N,1,none"};
const CliOption kRoot{"--device-root", "DIR", "在 DIR/dev 和 DIR/sys 下查找设备，同 mptest；默认取环境变量 MPTEST_DEVICE_ROOT"};
const CliOption kJson{"--json", nullptr, "每个作业在标准输出写一个 JSON 对象"};
const CliOption kQuiet{"--quiet", nullptr, "标准错误只写错误"};
const CliOption kHelp{"--help", nullptr, "显示本说明"};
// Taken before or after the command, by every command.
const std::array<const CliOption*, 4> kGlobalOptions{&kJson, &kQuiet, &kRoot, &kHelp};

struct CliCommand {
    const char* name;
    const char* usage;
    const char* summary;
    std::vector<CliOption> options;
    bool needsPort;
};

const std::vector<CliCommand>& Commands()
{
    static const std::vector<CliCommand> commands{
        {"ports", "ports [--json]", "列出 COM1 … COM7 及其设备和保存的设置、找到的 USB 打印机、并口是否可用",
         {kRoot, kJson, kHelp}, false},
        {"send", "send --port PORT (--hex \"1B 40 0A\" | --text TEXT | --file PATH) [--repeat N]",
         "命令输入窗口的三种发送：十六进制、文本（按 GBK 发送）、命令文件；--repeat N 发送 N 遍，遍间停顿同窗口",
         {kPort, kSerial, kRoot, {"--hex", "HEX", "十六进制命令，如 \"1B 40 0A\""}, {"--text", "TEXT", "文本，按 GBK 发送"},
          {"--file", "PATH", "命令文件（最大 5 MiB）"}, {"--repeat", "N", "发送 N 遍（默认 1）"}, kJson, kQuiet, kHelp},
         true},
        {"test", "test NAME --port PORT [选项] | test --list",
         "测试窗口的内置测试打印；test --list 列出全部名称及其选项",
         {kPort, kSerial, kRoot, {"--list", nullptr, "列出测试名称"}, {"--pattern", "asc|H|I", "latin: 字符图案（默认 asc）"},
          {"--font", "7x9|9x9", "latin: 字体（默认 7x9）"}, {"--double-width", nullptr, "latin、chinese: 倍宽"},
          {"--double-height", nullptr, "latin、chinese: 倍高"}, {"--underline", nullptr, "latin、chinese: 下划线"},
          {"--passes", "N", "latin: 打印 N 遍（默认 1）"}, {"--zone", "1..5", "chinese: 汉字区（默认 1）"},
          {"--cut", nullptr, "black-mark-test: 打印后切纸"}, kJson, kQuiet, kHelp},
         true},
        {"firmware", "firmware FILE --port PORT",
         "下载程序：写入固件文件，只经并口或 USB 口（同下载程序窗口）；并口先发送进入下载状态命令", {kPort, kSerial, kRoot, kJson, kQuiet, kHelp}, true},
        {"font", "font FILE --port PORT",
         "下载字库：写入字库文件；串口先切换速率并等待打印机应答", {kPort, kSerial, kRoot, kJson, kQuiet, kHelp}, true},
        {"machine-number", "machine-number (NUMBER | --next-from FILE) --port PORT [--print] [--log CSV]",
         "写入 12 位机器码（字母和数字）；--print 随后让打印机打印它",
         {kPort, kSerial, kRoot,
          {"--next-from", "FILE", "从计数文件取下一个号码（前缀加数字，如 KQ5800000001）；打印机收下后计数文件才前进，"
                                  "读、写打印机、更新全程独占锁定"},
          {"--print", nullptr, "写入后打印机器码"},
          {"--log", "CSV", "每次尝试追加一行：时间(ISO 8601),主机,端口,设备,号码,结果(ok|failed)"}, kJson, kQuiet, kHelp},
         true},
    };
    return commands;
}

struct CommandLine {
    const CliCommand* command = nullptr;
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::map<std::string, bool> switches;

    bool has(const char* name) const { return switches.count(name) != 0 || values.count(name) != 0; }
    std::string value(const char* name) const
    {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

struct UsageError {
    std::string text;
};

void PrintMainHelp()
{
    std::printf("用法: mptest-cli 命令 [选项]\n\n命令:\n");
    for (const CliCommand& c : Commands())
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
CommandLine Parse(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool option = arg.size() >= 3 && arg.compare(0, 2, "--") == 0;
        if (!option && line.command == nullptr) {
            for (const CliCommand& c : Commands())
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

unsigned Count(const CommandLine& line, const char* option, unsigned low, unsigned high)
{
    if (!line.has(option))
        return low;
    const std::string text = line.value(option);
    char* end = nullptr;
    const unsigned long n = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || n < low || n > high)
        throw UsageError{std::string(option) + " 的值 \"" + text + "\" 不在 " + std::to_string(low) + " … " +
                         std::to_string(high) + " 之内"};
    return static_cast<unsigned>(n);
}

// ---------------------------------------------------------------- the port

template <size_t N>
std::optional<BYTE> RowOfText(const std::array<MapEntry, N>& table, const std::string& text)
{
    for (size_t row = 0; row < N; ++row)
        if (text == table[row].text)
            return static_cast<BYTE>(row);
    return std::nullopt;
}

template <size_t N>
std::optional<BYTE> RowOfValue(const std::array<MapEntry, N>& table, DWORD value)
{
    for (size_t row = 0; row < N; ++row)
        if (table[row].value == value)
            return static_cast<BYTE>(row);
    return std::nullopt;
}

constexpr std::array<std::pair<char, DWORD>, 5> kParityLetters{
    {{'N', NOPARITY}, {'E', EVENPARITY}, {'O', ODDPARITY}, {'M', MARKPARITY}, {'S', SPACEPARITY}}};
constexpr std::array<const char*, 3> kFlowWords{"xonxoff", "hardware", "none"}; // in FlowRow order

// "BAUD,DATA,PARITY,STOP,FLOW" into gComInfo's line selections.
void TakeSerialSettings(const std::string& settings)
{
    std::vector<std::string> parts;
    std::stringstream in(settings);
    for (std::string part; std::getline(in, part, ',');)
        parts.push_back(part);
    const UsageError bad{"--serial 的值 \"" + settings + "\" 不是 BAUD,DATA,PARITY,STOP,FLOW（例如 19200,8,N,1,none）"};
    if (parts.size() != 5)
        throw bad;
    const auto baud = RowOfText(gComRMap, parts[0]);
    const auto data = RowOfText(gComDMap, parts[1]);
    const auto stop = RowOfText(gComSMap, parts[3]);
    std::optional<BYTE> parity;
    for (const auto& [letter, value] : kParityLetters)
        if (parts[2].size() == 1 && (parts[2][0] == letter || parts[2][0] == letter + ('a' - 'A')))
            parity = RowOfValue(gComPMap, value);
    std::optional<BYTE> flow;
    for (size_t row = 0; row < kFlowWords.size(); ++row)
        if (parts[4] == kFlowWords[row])
            flow = static_cast<BYTE>(row);
    if (!baud || !data || !parity || !stop || !flow)
        throw bad;
    gComInfo.baud = *baud;
    gComInfo.dataBits = *data;
    gComInfo.parity = *parity;
    gComInfo.stopBits = *stop;
    gComInfo.flow = *flow;
}

std::string SettingsText(const DCB& dcb)
{
    char parity = '?';
    for (const auto& [letter, value] : kParityLetters)
        if (dcb.Parity == value)
            parity = letter;
    const auto stop = RowOfValue(gComSMap, dcb.StopBits);
    const char* flow = dcb.fOutxCtsFlow && dcb.fOutxDsrFlow ? "hardware" : dcb.fOutX ? "xonxoff" : "none";
    return std::to_string(dcb.BaudRate) + "," + std::to_string(dcb.ByteSize) + "," + parity + "," +
           (stop ? gComSMap[*stop].text : "?") + "," + flow;
}

struct PortChoice {
    BYTE type = PORT_PARALLEL;
    std::string name;   // as the user wrote it
    std::string device; // what it opens
};

// The row of a COM name in the port table (com1 as COM1), 0 for none.
BYTE ComRow(const std::string& name)
{
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (BYTE row = 4; row < gLptComNameMap.size(); ++row)
        if (upper == gLptComNameMap[row].text)
            return row;
    return 0;
}

// Chooses the port the job opens and sets the serial line up, storing
// nothing; a bad port name or --serial is a usage error.
PortChoice ChoosePort(const CommandLine& line)
{
    if (!line.has("--port"))
        throw UsageError{"缺少 --port PORT"};
    // A malformed --serial is refused whatever the port.
    if (line.has("--serial"))
        TakeSerialSettings(line.value("--serial"));
    PortChoice port;
    port.name = line.value("--port");
    if (port.name == "parallel") {
        port.type = PORT_PARALLEL;
        port.device = MapText(gLptComNameMap, gLptInfo);
    } else if (port.name == "usb") {
        port.type = PORT_USB;
    } else {
        port.type = PORT_SERIAL;
        BYTE row = ComRow(port.name);
        const bool path = !port.name.empty() && port.name[0] == '/';
        if (row == 0 && !path)
            throw UsageError{"未知端口 \"" + port.name + "\"（parallel、usb、COM1 … COM7 或设备路径）"};
        // A device path goes under the last COM name, for this process only.
        if (path) {
            row = static_cast<BYTE>(gLptComNameMap.size() - 1);
            if (!PlatUseComDevice(gLptComNameMap[row].text, port.name))
                throw UsageError{"这个系统上 --port 只接受 parallel、usb 和 COM1 … COM7"};
        }
        gComInfo.port = row;
        const char* com = gLptComNameMap[row].text;
        port.device = PlatComDevice(com);
        // 9600,8,N,1,none unless the COM port has stored settings.
        TakeSerialSettings("9600,8,N,1,none");
        DWORD size = sizeof gCurrentComConfig;
        if (!path && GetDefaultCommConfigA(com, &gCurrentComConfig, &size))
            ComInfoFromDcb(gCurrentComConfig.dcb);
        if (line.has("--serial"))
            TakeSerialSettings(line.value("--serial"));
        ComInfoToDcb(gCurrentComConfig.dcb);
    }
    return port;
}

// ---------------------------------------------------------------- progress

class Progress {
public:
    void start(bool shown)
    {
        shown_ = shown && !gQuiet;
        terminal_ = PlatIsTerminal(2);
        decile_ = 0;
        drawn_ = false;
        lastPercent_ = -1;
        lastDetail_.clear();
    }
    void show(double fraction, const std::string& detail)
    {
        if (!shown_)
            return;
        fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
        const int percent = static_cast<int>(fraction * 100);
        if (percent == lastPercent_ && detail == lastDetail_)
            return; // a download reports each percentage more than once
        lastPercent_ = percent;
        lastDetail_ = detail;
        const char* gap = detail.empty() ? "" : "  ";
        if (terminal_) {
            constexpr int kWidth = 30;
            const int filled = static_cast<int>(fraction * kWidth);
            std::fprintf(stderr, "\r[%s%s] %3d%%%s%s   ", std::string(static_cast<size_t>(filled), '#').c_str(),
                         std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), percent, gap, detail.c_str());
            std::fflush(stderr);
            drawn_ = true;
        } else {
            // Progress comes at a screen's pace and may pass several tenths at once.
            while (percent / 10 > decile_) {
                ++decile_;
                std::fprintf(stderr, "mptest-cli: %d%%%s%s\n", decile_ * 10, gap, detail.c_str());
            }
        }
    }
    void end()
    {
        if (drawn_)
            std::fputs("\n", stderr);
        drawn_ = false;
        shown_ = false;
    }

private:
    bool shown_ = false;
    bool terminal_ = false;
    bool drawn_ = false;
    int decile_ = 0;
    int lastPercent_ = -1;
    std::string lastDetail_;
};

Progress gProgress;

// ---------------------------------------------------------------- the engine's reports

struct PassReports {
    DWORD length = 0;   // the length report's value
    DWORD cmdsSent = 0; // bytes the port took of a command
    bool cmdsDone = false;
    DWORD fileProgress = 0; // bytes (a command file) or percent (a download)
    bool fileDone = false;
    bool fileFailed = false;
};

PassReports gPass;
std::function<void()> gOnProgress;
HWND gReportWindow = nullptr;

INT_PTR CALLBACK CliReportProc(HWND, UINT message, WPARAM code, LPARAM value)
{
    const DWORD amount = static_cast<DWORD>(value);
    if (message == WM_SENDCMDS_STATUS) {
        if (code == STATUS_CMDS_LENGTH)
            gPass.length = amount;
        else if (code == STATUS_CMDS_SENT) {
            gPass.cmdsSent += amount;
            gPass.cmdsDone = true;
        }
    } else if (message == WM_SENDFILE_STATUS) {
        switch (code) {
        case STATUS_FILE_LENGTH:
            gPass.length = amount;
            break;
        case STATUS_FILE_PROGRESS:
            gPass.fileProgress = amount;
            if (gOnProgress)
                gOnProgress();
            break;
        case STATUS_FILE_DONE:
            gPass.fileDone = true;
            break;
        case STATUS_FILE_FAILED:
            gPass.fileFailed = true;
            break;
        default:
            break;
        }
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Delivers the sending thread's reports as they come, for up to 20 ms or
// until the send ends, so that a stop request is seen soon.
void DeliverReports()
{
    WaitDeliveringSends(hOutputBufIdle, 20);
}

enum class Pass { Ok, Failed, Refused, Stopped };

// One send through the engine, waited for while its reports are delivered.
// A stop request ends it as closing a dialog does.
Pass RunPass(const void* data, DWORD length, WORD flags)
{
    gPass = {};
    if (gStop)
        return Pass::Stopped;
    if (!SendDataToPrn(gReportWindow, data, length, flags))
        return Pass::Refused;
    bool stopped = false;
    while (WaitForSingleObject(hOutputBufIdle, 0) != WAIT_OBJECT_0) {
        if (gStop) {
            stopped = true;
            StopSendAndWait();
            break;
        }
        DeliverReports();
    }
    if (stopped)
        return Pass::Stopped;
    if ((flags & SEND_MODE_MASK) == SEND_MODE_CMDS)
        return gPass.cmdsDone && gPass.cmdsSent == gPass.length && gPass.length > 0 ? Pass::Ok : Pass::Failed;
    return gPass.fileDone ? Pass::Ok : Pass::Failed;
}

// Waits between passes; false when a stop came meanwhile.
bool PauseBetweenPasses()
{
    for (DWORD waited = 0; waited < kRepeatPauseMs; waited += 10) {
        if (gStop)
            return false;
        Sleep(10);
    }
    return !gStop;
}

// ---------------------------------------------------------------- jobs

struct Job {
    std::string name;
    PortChoice port;
    uint64_t bytes = 0;
    std::string sha256;
    bool ok = false;
    bool stopped = false;
    std::string message;
    // With --log: whether the printer took the job, and why the log did not.
    std::optional<bool> printerOk;
    std::string logError;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

int Finish(const Job& job)
{
    gProgress.end();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - job.start);
    if (gJson) {
        std::string logged;
        if (job.printerOk)
            logged = std::string(", \"printer\": \"") + (*job.printerOk ? "ok" : "failed") + "\", \"log_error\": " +
                     (job.logError.empty() ? "null" : JsonString(job.logError));
        std::printf("{\"job\": %s, \"port\": %s, \"device\": %s, \"bytes\": %llu, \"sha256\": %s, \"duration_ms\": %lld, "
                    "\"result\": \"%s\", \"message\": %s%s}\n",
                    JsonString(job.name).c_str(), JsonString(job.port.name).c_str(),
                    JsonString(job.port.device).c_str(), static_cast<unsigned long long>(job.bytes),
                    job.sha256.empty() ? "null" : JsonString(job.sha256).c_str(), static_cast<long long>(ms.count()),
                    job.ok ? "ok" : "failed", JsonString(job.message).c_str(), logged.c_str());
    } else if (job.ok && !gQuiet && !job.message.empty()) {
        std::printf("%s\n", job.message.c_str());
    }
    std::fflush(stdout);
    if (job.stopped) {
        std::fprintf(stderr, "mptest-cli: 结束发送：已发送 %llu 字节\n", static_cast<unsigned long long>(job.bytes));
        return kExitStopped;
    }
    if (!job.ok) {
        std::fprintf(stderr, "mptest-cli: %s\n", job.message.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

// The USB printer's device as a path, without the pipe the port layer adds.
std::string UsbDevicePath()
{
    std::string device = completeDeviceName;
    const size_t pipe = device.rfind("\\PIPE");
    if (pipe != std::string::npos && pipe != 0)
        device.erase(pipe);
    return device;
}

// Opens the chosen port; false with the dialogs' two lines in the job: what
// failed, and the device with what keeps it from opening.
bool OpenJobPort(Job& job)
{
    bool opened = job.port.type != PORT_PARALLEL || PortIoHasParallelPort();
    if (opened)
        opened = OpenPorts(job.port.type) != FALSE;
    if (job.port.type == PORT_USB)
        job.port.device = UsbDevicePath();
    if (!opened)
        job.message = std::string(PortOpenFailedText_Dw(job.port.type)) + "\n" + PortOpenFailureDetail(job.port.type);
    return opened;
}

// The file a job sends, read whole for its digest: false with the reason
// when it cannot be sent.
bool ReadSendFile(const std::string& path, Job& job)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        job.message = "无法读取文件 " + path;
        return false;
    }
    std::string content;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        content.append(block, static_cast<size_t>(in.gcount()));
        if (content.size() > MAX_SEND_FILE_SIZE) {
            job.message = "文件 " + path + " 超过 5 MiB（5242880 字节），没有发送";
            return false;
        }
    }
    if (in.bad()) {
        job.message = "无法读取文件 " + path;
        return false;
    }
    job.sha256 = Sha256Hex(content);
    return true;
}

std::string Formatted(const char* format, uint64_t value)
{
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(value));
    return text;
}

// Sends a command `passes` times; counts, progress and the outcome in `job`.
void SendCommandPasses(Job& job, const std::string& bytes, WORD flags, unsigned passes, const char* refused)
{
    gProgress.start(passes > 1);
    for (unsigned pass = 0; pass < passes; ++pass) {
        if (pass > 0 && !PauseBetweenPasses()) {
            job.stopped = true;
            break;
        }
        const Pass result = RunPass(bytes.data(), static_cast<DWORD>(bytes.size()), flags);
        job.bytes += gPass.cmdsSent;
        if (result == Pass::Stopped) {
            job.stopped = true;
            break;
        }
        if (result != Pass::Ok) {
            job.message = refused;
            return;
        }
        gProgress.show(double(pass + 1) / passes,
                       "第 " + std::to_string(pass + 1) + "/" + std::to_string(passes) + " 遍");
    }
    job.ok = !job.stopped;
    job.message = Formatted("已发送字节数 %llu", job.bytes);
}

// A file through the engine: a command file (bytes) or a download (percent).
void SendFilePasses(Job& job, const std::string& path, WORD mode, unsigned passes)
{
    gProgress.start(true);
    uint64_t before = 0;
    unsigned pass = 0;
    gOnProgress = [&] {
        if (mode == SEND_MODE_FILE) {
            const double whole = gPass.length == 0 ? 1.0 : double(gPass.fileProgress) / gPass.length;
            gProgress.show((pass + whole) / passes, std::to_string(before + gPass.fileProgress) + " 字节，第 " +
                                                        std::to_string(pass + 1) + "/" + std::to_string(passes) + " 遍");
        } else {
            gProgress.show(gPass.fileProgress / 100.0, ""); // the percentage is the whole news
        }
    };
    Pass result = Pass::Ok;
    for (; pass < passes; ++pass) {
        if (pass > 0 && !PauseBetweenPasses()) {
            result = Pass::Stopped;
            break;
        }
        result = RunPass(path.c_str(), static_cast<DWORD>(path.size() + 1), static_cast<WORD>(mode | SEND_ONCE));
        const DWORD moved = mode == SEND_MODE_FILE ? gPass.fileProgress
                            : gPass.fileDone      ? gPass.length
                                                  : static_cast<DWORD>(uint64_t(gPass.length) * gPass.fileProgress / 100);
        before += moved;
        if (result != Pass::Ok)
            break;
    }
    gOnProgress = nullptr;
    job.bytes = before;
    job.stopped = result == Pass::Stopped;
    job.ok = result == Pass::Ok;
    if (mode == SEND_MODE_FILE)
        job.message = job.ok || job.stopped ? Formatted("已发送数据:%llu字节", job.bytes) : "文件发送失败";
    else
        job.message = job.ok ? kDownloadDoneText_Dw : result == Pass::Refused ? kDownloadRefusedText_Dw
                                                                               : kDownloadFailedText_Dw;
}

int RunPorts()
{
    for (BYTE row = 4; row < gLptComNameMap.size(); ++row) {
        const char* com = gLptComNameMap[row].text;
        COMMCONFIG config = gDefaultComConfig;
        DWORD size = sizeof config;
        const std::string settings =
            GetDefaultCommConfigA(com, &config, &size) ? SettingsText(config.dcb) : "9600,8,N,1,none";
        if (gJson)
            std::printf("{\"port\": \"%s\", \"device\": %s, \"settings\": \"%s\"}\n", com,
                        JsonString(PlatComDevice(com)).c_str(), settings.c_str());
        else
            std::printf("%-9s %-40s %s\n", com, PlatComDevice(com).c_str(), settings.c_str());
    }
    char usb[256] = {};
    const bool found = GetUsbDeviceFileName(&GUID_CLASS_I82930_BULK, usb) != FALSE;
    const bool parallel = PortIoHasParallelPort();
    if (gJson) {
        std::printf("{\"port\": \"usb\", \"device\": %s, \"found\": %s}\n", found ? JsonString(usb).c_str() : "null",
                    found ? "true" : "false");
        std::printf("{\"port\": \"parallel\", \"device\": \"%s\", \"reachable\": %s}\n", MapText(gLptComNameMap, gLptInfo),
                    parallel ? "true" : "false");
    } else {
        std::printf("%-9s %s\n", "usb", found ? usb : "没有找到 USB 打印机");
        std::printf("%-9s %s\n", "parallel", parallel ? "可用" : "不可用");
    }
    return kExitOk;
}

// The console's rule skips what is no hexadecimal digit, so "1B 4G" would
// go as one byte; on a command line a typing error is refused instead.
void RefuseNonHexTokens(const std::string& text)
{
    std::stringstream tokens(text);
    for (std::string token; tokens >> token;)
        for (char c : token)
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                throw UsageError{"--hex 中的 \"" + token + "\" 不是十六进制数（只能有 0-9、A-F，字节之间用空格分开）"};
}

int RunSend(const CommandLine& line)
{
    const int kinds = line.has("--hex") + line.has("--text") + line.has("--file");
    if (kinds != 1)
        throw UsageError{"send 需要 --hex、--text、--file 三者之一"};
    if (!line.positional.empty())
        throw UsageError{"send 不接受参数 \"" + line.positional.front() + "\""};
    const unsigned passes = Count(line, "--repeat", 1, 1000000);
    Job job;
    job.port = ChoosePort(line);
    if (line.has("--file")) {
        job.name = "send-file";
        const std::string path = line.value("--file");
        if (!ReadSendFile(path, job) || !OpenJobPort(job))
            return Finish(job);
        SendFilePasses(job, path, SEND_MODE_FILE, passes);
        return Finish(job);
    }
    const bool hex = line.has("--hex");
    job.name = hex ? "send-hex" : "send-text";
    if (hex)
        RefuseNonHexTokens(line.value("--hex"));
    // Hexadecimal digits go to the engine as typed, which pairs them.
    const std::string text = TextForPrinter(line.value(hex ? "--hex" : "--text").c_str());
    BYTE probe[kMaxTypedBytes] = {};
    if (text.empty() || (hex && TranslateString(probe, text.data(), static_cast<DWORD>(text.size())) == 0)) {
        job.message = "输入框为空!";
        return Finish(job);
    }
    if (!OpenJobPort(job))
        return Finish(job);
    SendCommandPasses(job, text, static_cast<WORD>(SEND_MODE_CMDS | SEND_ONCE | (hex ? SEND_HEX : SEND_TEXT)), passes,
                      "发送数据错误！请重试");
    return Finish(job);
}

std::string OneOf(const CommandLine& line, size_t index, std::initializer_list<const char*> words, const char* test)
{
    if (line.positional.size() <= index)
        throw UsageError{std::string("test ") + test + " 缺少参数"};
    const std::string word = line.positional[index];
    for (const char* w : words)
        if (word == w)
            return word;
    throw UsageError{std::string("test ") + test + " 不接受 \"" + word + "\""};
}

struct CliTest {
    const char* name;
    const char* synopsis;
    size_t arguments;
};

const std::array<CliTest, 15> kTests{{
    {"latin", "latin --pattern asc|H|I --font 7x9|9x9 [--double-width] [--double-height] [--underline] [--passes N]", 0},
    {"chinese", "chinese --zone 1..5 [--double-width] [--double-height] [--underline]", 0},
    {"black-mark", "black-mark on|off", 1},
    {"black-mark-distance", "black-mark-distance A|B|C VALUE   (毫米，负数直接写：A -30)", 2},
    {"black-mark-test", "black-mark-test [--cut]", 0},
    {"current", "current carriage|feed|pins", 1},
    {"all-black", "all-black", 0},
    {"sample", "sample", 0},
    {"drawer", "drawer 1|2", 1},
    {"cut", "cut full|partial", 1},
    {"cutter", "cutter on|off", 1},
    {"baud", "baud INDEX   (0..5: 1200 2400 4800 9600 19200 38400)", 1},
    {"usb-write", "usb-write", 0},
    {"usb-read", "usb-read   (打印机存的字符串写到标准输出)", 0},
    {"", "", 0},
}};

BYTE Modes(const CommandLine& line, BYTE width, BYTE height, BYTE underline)
{
    return static_cast<BYTE>((line.has("--double-width") ? width : 0) | (line.has("--double-height") ? height : 0) |
                             (line.has("--underline") ? underline : 0));
}

int RunTest(const CommandLine& line)
{
    if (line.has("--list")) {
        for (const CliTest& t : kTests)
            if (*t.name != '\0')
                std::printf("%s\n", t.synopsis);
        return kExitOk;
    }
    if (line.positional.empty())
        throw UsageError{"test 缺少测试名称（test --list 列出全部）"};
    const std::string name = line.positional.front();
    const CliTest* known = nullptr;
    for (const CliTest& t : kTests)
        if (*t.name != '\0' && name == t.name)
            known = &t;
    if (known == nullptr)
        throw UsageError{"未知测试 \"" + name + "\"（test --list 列出全部）"};
    if (line.positional.size() > known->arguments + 1)
        throw UsageError{"test " + name + " 多了参数 \"" + line.positional.back() + "\""};
    const char* test = known->name;
    std::string bytes;
    unsigned passes = 1;
    if (name == "latin") {
        const std::string pattern = line.has("--pattern") ? line.value("--pattern") : "asc";
        const std::string font = line.has("--font") ? line.value("--font") : "7x9";
        if (pattern != "asc" && pattern != "H" && pattern != "I")
            throw UsageError{"--pattern 只能是 asc、H 或 I"};
        if (font != "7x9" && font != "9x9")
            throw UsageError{"--font 只能是 7x9 或 9x9"};
        const BYTE modes = static_cast<BYTE>(Modes(line, kLatinDoubleWidth, kLatinDoubleHeight, kLatinUnderline) |
                                             (font == "7x9" ? kLatinFont7x9 : 0));
        bytes = LatinTestBytes(modes, pattern == "asc" ? LatinPattern::Letters
                                        : pattern == "H" ? LatinPattern::H
                                                         : LatinPattern::I);
        passes = Count(line, "--passes", 1, 1000000);
    } else if (name == "chinese") {
        const unsigned zone = Count(line, "--zone", 1, kGbkZoneCount);
        bytes = GbkTestBytes(Modes(line, kGbkDoubleWidth, kGbkDoubleHeight, kGbkUnderline), static_cast<int>(zone) - 1);
    } else if (name == "black-mark") {
        bytes = BlackMarkBytes(OneOf(line, 1, {"on", "off"}, test) == "on" ? 1 : 2, false, "");
    } else if (name == "black-mark-distance") {
        const std::string which = OneOf(line, 1, {"A", "B", "C"}, test);
        if (line.positional.size() < 3)
            throw UsageError{"test black-mark-distance 缺少距离（毫米）"};
        bytes = BlackMarkBytes(3 + (which[0] - 'A'), false, line.positional[2].c_str());
    } else if (name == "black-mark-test") {
        bytes = BlackMarkBytes(0, line.has("--cut"), "");
    } else if (name == "current") {
        const std::string part = OneOf(line, 1, {"carriage", "feed", "pins"}, test);
        bytes = DianliuBytes(part == "carriage" ? 0 : part == "feed" ? 1 : 2);
    } else if (name == "all-black") {
        bytes = BlackImgBytes();
    } else if (name == "sample") {
        bytes = DotsBytes();
    } else if (name == "drawer") {
        bytes = CasherBytes(OneOf(line, 1, {"1", "2"}, test) == "1" ? 0 : 1);
    } else if (name == "cut") {
        bytes = CutterBytes(OneOf(line, 1, {"full", "partial"}, test) == "full" ? 1 : 0);
    } else if (name == "cutter") {
        bytes = CutterSwBytes(OneOf(line, 1, {"on", "off"}, test) == "on" ? 1 : 0);
    } else if (name == "baud") {
        const std::string index = OneOf(line, 1, {"0", "1", "2", "3", "4", "5"}, test);
        bytes = SetComBytes(static_cast<BYTE>(index[0] - '0'));
    }
    Job job;
    job.name = "test " + name;
    job.port = ChoosePort(line);
    if (name == "usb-write" || name == "usb-read") {
        if (job.port.type != PORT_USB) {
            job.message = "请选择USB接口!";
            return Finish(job);
        }
        gCurrentPort.type = PORT_USB; // the page's radio
        std::string readBack;
        const char* failure = UsbStringTest(name == "usb-write" ? 0 : 1, &readBack);
        job.port.device = UsbDevicePath();
        job.ok = failure == nullptr;
        job.message = failure != nullptr ? failure : name == "usb-write" ? "zxtkpj" : readBack;
        job.bytes = name == "usb-write" ? 10 : 4;
        PortRelease();
        return Finish(job);
    }
    if (!OpenJobPort(job))
        return Finish(job);
    SendCommandPasses(job, bytes, kTestFlags, passes, kRefusedText_T);
    if (job.ok)
        job.message.clear(); // the test pages say nothing when a print went
    return Finish(job);
}

int RunDownload(const CommandLine& line, bool firmware)
{
    if (line.positional.size() != 1)
        throw UsageError{std::string(firmware ? "firmware" : "font") + " 需要一个文件"};
    const std::string path = line.positional.front();
    Job job;
    job.name = firmware ? "firmware" : "font";
    job.port = ChoosePort(line);
    if (firmware && job.port.type == PORT_SERIAL) {
        // As in the firmware dialog, whose serial choice is disabled: a
        // printer on a serial line would print the firmware as text.
        job.message = "固件只能通过并口或 USB 口下载，不能通过串口 " + job.port.name + "；没有发送";
        return Finish(job);
    }
    // An empty file would go as a download that went well, an empty font
    // after the speed switch: refused before anything is sent.
    if (const std::string fault = DownloadFileFault_Dw(path.c_str()); !fault.empty()) {
        job.message = fault + "：" + path + "；没有发送";
        return Finish(job);
    }
    if (!ReadSendFile(path, job) || !OpenJobPort(job))
        return Finish(job);
    if (firmware && job.port.type == PORT_PARALLEL) {
        // The firmware dialog's "enter download state" step.
        const std::string enter = EnterDownloadBytes();
        const Pass result = RunPass(enter.data(), static_cast<DWORD>(enter.size()), kTestFlags);
        if (result != Pass::Ok) {
            job.stopped = result == Pass::Stopped;
            job.message = "发送数据错误！请重试";
            return Finish(job);
        }
    }
    SendFilePasses(job, path, firmware ? SEND_MODE_VERSION : SEND_MODE_FONT, 1);
    return Finish(job);
}

std::string NowIso8601()
{
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

// The attempt's line, on the disk before the job may report ok: the log is
// the unit's record. A line that cannot be written fails the job, saying
// what the printer got.
void AppendLog(const CommandLine& line, Job& job, const std::string& number, bool written)
{
    if (!line.has("--log"))
        return;
    job.printerOk = written;
    const std::string row = LogLine(NowIso8601(), PlatHostName(), job.port.name, job.port.device, number, written);
    std::string why;
    if (PlatAppendDurably(line.value("--log"), row, &why))
        return;
    job.logError = "无法写入日志 " + why;
    job.message = job.ok ? "机器码 " + number + " 已写入打印机（这个号码已用掉），但" + job.logError
                         : job.message + "\n" + job.logError;
    job.ok = false;
}

// Writes `number`; true when the printer took every byte.
bool WriteNumber(Job& job, const std::string& number)
{
    const std::string command = PrnNumWriteBytes(number.c_str());
    const Pass result = RunPass(command.data(), static_cast<DWORD>(command.size()), kTestFlags);
    job.bytes += gPass.cmdsSent;
    job.stopped = result == Pass::Stopped;
    job.ok = result == Pass::Ok;
    job.message = job.ok ? kPrnNumWrittenText_Dw : kPrnNumWriteFailedText_Dw;
    return job.ok;
}

using LockedCounter = std::unique_ptr<PlatLockedFile, void (*)(PlatLockedFile*)>;

int RunMachineNumber(const CommandLine& line)
{
    const bool fromCounter = line.has("--next-from");
    if (fromCounter == (line.positional.size() == 1) || line.positional.size() > 1)
        throw UsageError{"machine-number 需要 NUMBER 或 --next-from FILE 二者之一"};
    Job job;
    job.name = "machine-number";
    job.port = ChoosePort(line);
    std::string number;
    LockedCounter counter(nullptr, PlatUnlockFile);
    CounterText after;
    if (fromCounter) {
        // Held from the read to the update: no other station takes this number meanwhile.
        const std::string path = line.value("--next-from");
        std::string why;
        std::string content;
        counter.reset(PlatLockFile(path, kCounterLockWaitMs, &why));
        if (!counter || !PlatLockedRead(counter.get(), &content, &why)) {
            job.message = "计数文件 " + why;
            return Finish(job);
        }
        const CounterText read = ReadCounterText(content);
        number = read.number;
        if (read.usedUp) {
            job.message = "计数文件 " + path + " 的号码段已用完：最后一个号码 " + number + " 已经发出；请换一个新的计数文件";
            return Finish(job);
        }
        if (!IsLegalPrnNum(number.c_str()) || !CounterAfterIssue(read, &after)) {
            job.message = "计数文件 " + path + " 中的 \"" + number + "\" 不能用作机器码：" + kPrnNumIllegalText_Dw;
            return Finish(job);
        }
    } else {
        number = line.positional.front();
        if (!IsLegalPrnNum(number.c_str())) {
            job.message = kPrnNumIllegalText_Dw;
            return Finish(job);
        }
    }
    if (!OpenJobPort(job)) {
        AppendLog(line, job, number, false);
        return Finish(job);
    }
    const bool written = WriteNumber(job, number);
    if (written && counter) {
        std::string why;
        if (!PlatLockedRewrite(counter.get(), CounterFileText(after), &why)) {
            // The printer has the number but the counter did not move: say so
            // loudly, the next unit would get the same number.
            job.ok = false;
            job.message = "机器码 " + number + " 已写入，但计数文件无法更新: " + why;
        }
    }
    AppendLog(line, job, number, written);
    counter.reset();
    if (written && after.usedUp && !gQuiet)
        std::fprintf(stderr, "mptest-cli: %s 是计数文件 %s 的最后一个号码，计数文件现已标为用完\n", number.c_str(),
                     line.value("--next-from").c_str());
    if (job.ok && line.has("--print")) {
        const std::string print = PrnNumPrintBytes();
        const Pass result = RunPass(print.data(), static_cast<DWORD>(print.size()), kTestFlags);
        job.bytes += gPass.cmdsSent;
        job.stopped = result == Pass::Stopped;
        job.ok = result == Pass::Ok;
        job.message = job.ok ? kPrnNumPrintedText_Dw : kPrnNumPrintFailedText_Dw;
    }
    if (job.ok)
        job.message = std::string(job.message) + " " + number;
    return Finish(job);
}

int Run(const CommandLine& line)
{
    const std::string name = line.command->name;
    if (name == "ports")
        return RunPorts();
    if (name == "send")
        return RunSend(line);
    if (name == "test")
        return RunTest(line);
    if (name == "firmware" || name == "font")
        return RunDownload(line, name == "firmware");
    return RunMachineNumber(line);
}

} // namespace

void CliRequestStop()
{
    gStop = true;
}

void CliMessageBox(const char* text, const char* caption)
{
    std::fprintf(stderr, "mptest-cli: %s%s%s\n", caption != nullptr && std::strcmp(caption, "Error") != 0 ? caption : "",
                 caption != nullptr && std::strcmp(caption, "Error") != 0 ? ": " : "", text);
}

int CliMain(int argc, char** argv)
{
    gStop = false;
    gQuiet = false;
    gJson = false;
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
        for (const CliCommand& c : Commands())
            if (std::strcmp(argv[i], c.name) == 0)
                helpFor += std::string(" ") + c.name;
    try {
        const CommandLine line = Parse(argc, argv);
        if (line.has("--help")) {
            if (line.command == nullptr)
                PrintMainHelp();
            else
                PrintCommandHelp(*line.command);
            return kExitOk;
        }
        gJson = line.has("--json");
        gQuiet = line.has("--quiet");
        // scripts/run --shell exports the virtual printers' root; an explicit option wins.
        const char* rootFromEnvironment = std::getenv("MPTEST_DEVICE_ROOT");
        if (line.has("--device-root") || (rootFromEnvironment != nullptr && *rootFromEnvironment != '\0')) {
            std::string why;
            const bool explicitRoot = line.has("--device-root");
            if (!PlatUseDeviceRoot(explicitRoot ? line.value("--device-root") : rootFromEnvironment, &why))
                throw UsageError{explicitRoot ? why : "环境变量 MPTEST_DEVICE_ROOT：" + why};
        }
        InitPort();
        gReportWindow = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DOWN_PRN_NUM), nullptr,
                                           CliReportProc, 0);
        if (gReportWindow == nullptr) {
            std::fprintf(stderr, "mptest-cli: 无法建立接收报告的窗口\n");
            return kExitFailed;
        }
        int code = kExitFailed;
        try {
            code = Run(line);
        } catch (...) {
            StopSendAndWait();
            PortRelease();
            DestroyWindow(gReportWindow);
            gReportWindow = nullptr;
            throw;
        }
        // The sending thread is gone before the port is released.
        StopSendAndWait();
        PortRelease();
        PlatUseComDevice(gLptComNameMap.back().text, "");
        DestroyWindow(gReportWindow);
        gReportWindow = nullptr;
        return code;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "mptest-cli: %s（见 %s --help）\n", error.text.c_str(), helpFor.c_str());
        return kExitUsage;
    }
}
