// The console's receive area against the virtual printer: the status query
// in each of the printer's conditions, decoded in the view and in the log
// file; a flood the view keeps only the end of while the log gets all; and
// the hand-over of a port's input when the console closes and a font
// download or the USB read-back reads the printer's answer.
#include "port/input.h"
#include "port/port.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "sim/status.h"
#include "ui/console/console.h"
#include "ui/console/receive.h"
#include "ui/download/download.h"
#include "ui/support/printer_rig.h"
#include "ui/support/window_fixture.h"
#include "ui/testprint/testprint.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <sys/resource.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

namespace {

HWND OpenConsole()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, bUserCmdDlgProc);
}

std::string Count(uint64_t bytes)
{
    return "已接收 " + std::to_string(bytes) + " 字节";
}

bool WaitCount(HWND console, uint64_t bytes, int timeoutMs = 5000)
{
    return PlatTestWaitFor([&] { return PlatTestText(console, IDC_UC_RX_COUNT) == Count(bytes); }, timeoutMs);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

Texts Lines(const std::string& text, const std::string& prefix = "")
{
    Texts lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with(prefix))
            lines.push_back(line);
    }
    return lines;
}

// A log's lines without their time stamps; every line must have one.
Texts Unstamped(const std::string& log)
{
    static const std::regex stamped(R"(^\d\d:\d\d:\d\d\.\d\d\d (.*)$)");
    Texts lines;
    for (const std::string& line : Lines(log)) {
        std::smatch m;
        if (!std::regex_match(line, m, stamped))
            return {"unstamped: " + line};
        lines.push_back(m[1]);
    }
    return lines;
}

// The hex of every received line of a log, joined: what the printer sent,
// however the reads cut it.
std::string ReceivedHex(const Texts& unstamped)
{
    std::string hex;
    for (const std::string& line : unstamped) {
        if (!line.starts_with("接收 "))
            continue;
        const std::string bytes = line.substr(std::string("接收 ").size(), line.find(" | ") - std::string("接收 ").size());
        hex += (hex.empty() ? "" : " ") + bytes;
    }
    return hex;
}

void SaveLog(HWND console, const std::string& path, bool keepAppending)
{
    if (keepAppending && !PlatTestChecked(console, IDC_UC_LOG_APPEND))
        QVERIFY(PlatTestClick(console, IDC_UC_LOG_APPEND));
    PlatTestFileChooserAnswer(path);
    QVERIFY(PlatTestClick(console, IDC_UC_LOG_SAVE));
}

struct StatusCase {
    const char* name;
    unsigned conditions;
    const char* answers; // the four bytes, hex
    Texts decoded;
};

// Written from the printer's documented status bits, not from the console's
// table: bits 1 and 4 are always set, request 1 reads drawer pin 3 high.
const StatusCase kStatusCases[] = {
    {"ready", 0, "16 12 12 12",
     {"DLE EOT 1: 16 联机 钱箱引脚3高电平", "DLE EOT 2: 12 无脱机原因", "DLE EOT 3: 12 无错误", "DLE EOT 4: 12 纸充足"}},
    {"paper-out", sim::kPaperOut, "1E 32 12 7E",
     {"DLE EOT 1: 1E 脱机 钱箱引脚3高电平", "DLE EOT 2: 32 缺纸", "DLE EOT 3: 12 无错误", "DLE EOT 4: 7E 纸将尽 缺纸"}},
    {"paper-low", sim::kPaperLow, "16 12 12 1E",
     {"DLE EOT 1: 16 联机 钱箱引脚3高电平", "DLE EOT 2: 12 无脱机原因", "DLE EOT 3: 12 无错误", "DLE EOT 4: 1E 纸将尽"}},
    {"cover-open", sim::kCoverOpen, "1E 16 12 12",
     {"DLE EOT 1: 1E 脱机 钱箱引脚3高电平", "DLE EOT 2: 16 上盖打开", "DLE EOT 3: 12 无错误", "DLE EOT 4: 12 纸充足"}},
    {"offline", sim::kOffline, "1E 12 12 12",
     {"DLE EOT 1: 1E 脱机 钱箱引脚3高电平", "DLE EOT 2: 12 无脱机原因", "DLE EOT 3: 12 无错误", "DLE EOT 4: 12 纸充足"}},
    {"cutter-error", sim::kCutterError, "1E 52 1A 12",
     {"DLE EOT 1: 1E 脱机 钱箱引脚3高电平", "DLE EOT 2: 52 出错", "DLE EOT 3: 1A 切刀错误", "DLE EOT 4: 12 纸充足"}},
};

} // namespace

class TestConsoleReceive : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(), PlatTestClearMessageBoxes(); }
    void cleanup() { PlatTestDestroyAll(); }

    // "状态查询" on a serial and a USB printer in each condition: the four
    // answers decoded in the view, the count, and the log file line by line.
    void statusQueryDecodesEachCondition_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("port");
        for (int i = 0; i < int(std::size(kStatusCases)); ++i) {
            QTest::newRow((std::string(kStatusCases[i].name) + ", serial").c_str()) << i << int(PORT_SERIAL);
            QTest::newRow((std::string(kStatusCases[i].name) + ", usb").c_str()) << i << int(PORT_USB);
        }
    }
    void statusQueryDecodesEachCondition()
    {
        QFETCH(int, index);
        QFETCH(int, port);
        const StatusCase& c = kStatusCases[index];
        rig::Bench bench;
        sim::PrinterOptions options;
        options.status = c.conditions;
        sim::PtyPrinter& printer =
            port == PORT_SERIAL ? static_cast<sim::PtyPrinter&>(bench.serial(options)) : bench.usb(0, options);
        HWND console = OpenConsole();
        QCOMPARE(PlatTestText(console, IDC_UC_RX_COUNT), Count(0));
        QVERIFY(PlatTestClick(console, port == PORT_SERIAL ? IDC_UC_SERIAL : IDC_UC_USB));
        QVERIFY(PlatTestClick(console, IDC_UC_STATUS_QUERY));
        QVERIFY(WaitCount(console, 4));
        QCOMPARE(printer.received(), (Bytes{0x10, 0x04, 1, 0x10, 0x04, 2, 0x10, 0x04, 3, 0x10, 0x04, 4}));
        QCOMPARE(Lines(PlatTestText(console, IDC_UC_RX_VIEW), "DLE EOT"), c.decoded);

        const std::string log = bench.dir().path() + "/session.log";
        SaveLog(console, log, false);
        const Texts lines = Unstamped(ReadFile(log));
        QVERIFY(!lines.empty());
        QCOMPARE(lines.front(), std::string("发送 10 04 01 10 04 02 10 04 03 10 04 04"));
        QCOMPARE(ReceivedHex(lines), std::string(c.answers));
        // Each answer's reading beside its hex, as the view shows it.
        Texts readings;
        for (const std::string& line : lines)
            if (line.starts_with("状态 "))
                readings.push_back(line.substr(std::string("状态 ").size()));
        QCOMPARE(readings, c.decoded);
        QVERIFY(rig::MessageTexts().empty());
    }

    // The view's options redraw what it holds; "清除" empties it and its
    // count; a text send gets the chosen line ending once; the parallel port
    // says it shows nothing.
    void viewOptionsClearAndLineEnding()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        HWND console = OpenConsole();
        QCOMPARE(PlatTestComboRows(console, IDC_UC_LINE_END), (Texts{"无", "CR", "LF", "CR LF"}));
        QVERIFY(PlatTestText(console, IDC_UC_RX_VIEW).starts_with("并行口不回传数据"));
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        QCOMPARE(PlatTestText(console, IDC_UC_RX_VIEW), std::string());

        QVERIFY(printer.sendToHost({'O', 'K', 0xD6, 0xD0, '\r', '\n'})); // "OK中" in GBK
        QVERIFY(WaitCount(console, 6));
        QCOMPARE(PlatTestText(console, IDC_UC_RX_VIEW), std::string("4F 4B D6 D0 0D 0A"));
        QVERIFY(PlatTestClick(console, IDC_UC_RX_HEX)); // to text
        QCOMPARE(PlatTestText(console, IDC_UC_RX_VIEW), std::string("OK中\r\n"));
        QVERIFY(PlatTestClick(console, IDC_UC_RX_STAMPS));
        QVERIFY(std::regex_match(PlatTestText(console, IDC_UC_RX_VIEW),
                                 std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] OK中\r\n)")));
        QVERIFY(PlatTestClick(console, IDC_UC_RX_CLEAR));
        QCOMPARE(PlatTestText(console, IDC_UC_RX_VIEW), std::string());
        QCOMPARE(PlatTestText(console, IDC_UC_RX_COUNT), Count(0));

        QVERIFY(PlatTestSelectComboRow(console, IDC_UC_LINE_END, 3));
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, "AB"));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(printer.waitForBytes(4, 5000ms));
        QVERIFY(rig::WaitPortIdle(5000));
        // Hex sends stay as typed: the ending is for text.
        QVERIFY(PlatTestClick(console, IDC_UC_CLEAR));
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, "41"));
        QVERIFY(PlatTestClick(console, IDC_UC_HEX));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(printer.waitForBytes(5, 5000ms));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(printer.received(), (Bytes{'A', 'B', '\r', '\n', 'A'}));

        // The log has what went out, in lines of 256 bytes at the most.
        PlatTestFileChooserAnswer(bench.dir().writeFile("file.bin", Bytes(300, '0')));
        QVERIFY(PlatTestClick(console, IDC_UC_SEL_FILE));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND_FILE));
        QVERIFY(rig::WaitPortIdle(5000)); // its reports wait for this thread
        QVERIFY(printer.waitForBytes(305, 5000ms));
        const std::string log = bench.dir().path() + "/sent.log";
        SaveLog(console, log, false);
        Texts lines;
        for (const std::string& line : Unstamped(ReadFile(log)))
            if (line.starts_with("发送 "))
                lines.push_back(line);
        QCOMPARE(lines.size(), size_t(4));
        QCOMPARE(lines[0], std::string("发送 41 42 0D 0A | AB.."));
        QCOMPARE(lines[1], std::string("发送 41 | A"));
        QCOMPARE(std::count(lines[2].begin(), lines[2].end(), '0'), 256 + 256); // "30" for each byte, then the text
        QCOMPARE(std::count(lines[3].begin(), lines[3].end(), '0'), 44 + 44);

        QVERIFY(printer.sendToHost({'Z'}));
        QVERIFY(WaitCount(console, 1));
        QVERIFY(PlatTestClick(console, IDC_UC_PARALLEL));
        QVERIFY(!PortReaderRunning());
        QVERIFY(PlatTestText(console, IDC_UC_RX_VIEW).starts_with("并行口不回传数据"));
    }

    // A printer that floods the line: the view keeps its last 1 MiB, the count
    // and the log file (kept appending) have every byte.
    void floodKeepsViewBoundedAndLogsAll()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        const std::string log = bench.dir().path() + "/flood.log";
        SaveLog(console, log, true);
        constexpr size_t kPiece = 64 * 1024;
        constexpr size_t kPieces = 40; // 2.5 MiB
        for (size_t i = 0; i < kPieces; ++i)
            QVERIFY(printer.sendToHost(Bytes(kPiece, static_cast<uint8_t>(i))));
        QVERIFY(WaitCount(console, kPiece * kPieces, 60000));
        // Two hex digits a byte: the last MiB exactly, ending in the last piece.
        const std::string view = PlatTestText(console, IDC_UC_RX_VIEW);
        QCOMPARE(std::count_if(view.begin(), view.end(), [](char c) { return std::isxdigit(c); }), 2 << 20);
        QVERIFY(view.ends_with("27 27"));
        QVERIFY(PlatTestClick(console, IDC_UC_EXIT));
        const Texts lines = Unstamped(ReadFile(log));
        QVERIFY(!lines.empty());
        for (const std::string& line : lines)
            QVERIFY2(line.starts_with("接收 "), line.c_str());
        const std::string hex = ReceivedHex(lines);
        QCOMPARE(size_t(std::count(hex.begin(), hex.end(), ' ')) + 1, kPiece * kPieces);
        QVERIFY(hex.starts_with("00 00") && hex.ends_with("27 27"));
    }

    // Arrivals go at the view's end and what it lets go leaves its front: in
    // each view the control shows what drawing the whole view shows, line
    // breaks cut across reads and GBK characters cut by the limit included.
    void viewFollowsArrivalsInEachView()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        for (const bool hex : {true, false}) {
            for (const bool stamps : {false, true}) {
                const std::string row = std::string(hex ? "hex" : "text") + (stamps ? ", stamped" : "");
                RowTrace trace{row.c_str()};
                QVERIFY(PlatTestClick(console, IDC_UC_RX_CLEAR));
                if (PlatTestChecked(console, IDC_UC_RX_HEX) != hex)
                    QVERIFY(PlatTestClick(console, IDC_UC_RX_HEX));
                if (PlatTestChecked(console, IDC_UC_RX_STAMPS) != stamps)
                    QVERIFY(PlatTestClick(console, IDC_UC_RX_STAMPS));
                uint64_t count = 0;
                for (size_t i = 0; i < 20; ++i) {
                    Bytes piece(64 * 1024 + 3 * i);
                    for (size_t j = 0; j < piece.size(); ++j)
                        piece[j] = j % 7 == 0 ? 0xD6 : j % 7 == 1 ? 0xD0 : "ab\r\n\t\x01"[j % 6];
                    piece.front() = '\n';
                    piece.back() = '\r'; // its LF comes with the next piece
                    QVERIFY(printer.sendToHost(piece));
                    count += piece.size();
                    QVERIFY(WaitCount(console, count, 20000));
                }
                QVERIFY(PlatTestText(console, IDC_UC_RX_VIEW) == RxRender(gRxView, hex, stamps));
            }
        }
    }

    // A large command file sent while "持续记录" appends: its lines reach the
    // file whole, and before what the printer sent back once the send began,
    // also when "持续记录" goes off or the console closes while they are
    // still being written. Saved only after the send, the log holds the
    // last 4 MiB of its lines.
    void largeSendLogsEveryLineInOrder()
    {
        const Bytes data = [] {
            Bytes bytes(2 << 20);
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
            return bytes;
        }();
        enum Row { StopAppending, Close, SaveAfter };
        for (const Row row : {StopAppending, Close, SaveAfter}) {
            RowTrace trace{row == StopAppending ? "持续记录 off during the send"
                           : row == Close       ? "the console closed during the send"
                                                : "saved after the send"};
            rig::Bench bench;
            auto& printer = bench.usb();
            HWND console = OpenConsole();
            QVERIFY(PlatTestClick(console, IDC_UC_USB));
            const std::string log = bench.dir().path() + "/large.log";
            if (row != SaveAfter)
                SaveLog(console, log, true);
            PlatTestFileChooserAnswer(bench.dir().writeFile("large.bin", data));
            QVERIFY(PlatTestClick(console, IDC_UC_SEL_FILE));
            QVERIFY(PlatTestClick(console, IDC_UC_SEND_FILE));
            if (row != Close) {
                QVERIFY(printer.sendToHost({'Z'}));
                QVERIFY(WaitCount(console, 1));
                if (row == StopAppending)
                    QVERIFY(PlatTestClick(console, IDC_UC_LOG_APPEND));
                QVERIFY(rig::WaitPortIdle(60000)); // its reports wait for this thread
                QVERIFY(printer.waitForBytes(data.size(), 5000ms));
            }
            if (row == SaveAfter)
                SaveLog(console, log, false);
            QVERIFY(PlatTestClick(console, IDC_UC_EXIT));
            const std::string logged = ReadFile(log);
            QVERIFY(logged.size() > 12);
            const std::string stamp = logged.substr(0, 12); // the send's
            std::string expected;
            for (size_t at = 0; at < data.size(); at += 256)
                expected += RxLogLine(stamp, true,
                                      std::string_view(reinterpret_cast<const char*>(data.data()) + at,
                                                       std::min<size_t>(256, data.size() - at)));
            if (row == SaveAfter) {
                const std::string last = logged.substr(logged.rfind('\n', logged.size() - 3) + 1);
                QCOMPARE(Unstamped(last), Texts{"接收 5A | Z"});
                // Whole lines from the first line break 4 MiB before the end.
                const std::string all = expected + last;
                QVERIFY(logged == all.substr(all.find('\n', all.size() - 4 * RX_VIEW_BYTES) + 1));
                QVERIFY(rig::MessageTexts().empty());
                continue;
            }
            QVERIFY(logged.starts_with(expected));
            QCOMPARE(Unstamped(logged.substr(expected.size())), row == Close ? Texts{} : Texts{"接收 5A | Z"});
            QVERIFY(rig::MessageTexts().empty());
        }
    }

    // The console closes with its view running on the printer's port; at once
    // the font download reads the printer's 1C AA AA over serial, and the USB
    // page reads back the stored string. Both get their bytes; the console's
    // log, still set to append, holds none of them.
    void closedConsoleLeavesTheAnswersToTheNextReader()
    {
        rig::Bench bench;
        auto& serial = bench.serial();
        auto& usb = bench.usb();
        const std::string log = bench.dir().path() + "/handover.log";

        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        QVERIFY(PortReaderRunning());
        SaveLog(console, log, true);
        QVERIFY(PlatTestClick(console, IDC_UC_STATUS_QUERY));
        QVERIFY(WaitCount(console, 4));
        QVERIFY(PlatTestClick(console, IDC_UC_EXIT));
        QVERIFY(!PortReaderRunning());
        const std::string logged = ReadFile(log);

        HWND font = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_DOWN_FONT), nullptr, bDownFontFileDlgProc);
        const Bytes data(300, 0x5A);
        PlatTestFileChooserAnswer(bench.dir().writeFile("font.bin", data));
        QVERIFY(PlatTestClick(font, IDC_DF_SEL_FILE));
        QVERIFY(PlatTestClick(font, IDC_DF_SERIAL));
        QVERIFY(PlatTestClick(font, IDC_DF_SEND));
        QVERIFY(PlatTestWaitFor(
            [&] { return PlatTestStatusText(font, IDC_DW_STATUSBAR, 0) == "下载文件成功完成!"; }, 20000));
        QVERIFY(serial.waitForBytes(12 + 3 + data.size(), 5000ms));
        QVERIFY(PlatTestClick(font, IDC_DF_EXIT));

        console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_USB));
        QVERIFY(PortReaderRunning());
        QVERIFY(PlatTestClick(console, IDC_UC_EXIT));
        HWND tests = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TEST), nullptr, bTestDlgProc);
        QVERIFY(PlatTestClick(tests, IDC_T_USB));
        QVERIFY(PlatTestSelectTab(tests, IDC_T_TAB, kTestPageCount - 1));
        HWND page = gTabPages[kTestPageCount - 1];
        QVERIFY(PlatTestClick(page, IDC_USB_WRITE));
        QVERIFY(usb.waitForBytes(10, 5000ms));
        QVERIFY(PlatTestClick(page, IDC_USB_READ));
        QCOMPARE(PlatTestText(page, IDC_USB_READBACK), std::string("zxtkpj"));
        QCOMPARE(rig::MessageTexts(), Texts{});

        QCOMPARE(ReadFile(log), logged);
        QVERIFY(logged.find("1C AA AA") == std::string::npos);
        QCOMPARE(ReceivedHex(Unstamped(logged)), std::string("16 12 12 12"));
    }

    // Up and Down in the input box bring back what was sent, with its HEX
    // setting, also after the console (the program) was closed; Up in a box
    // that holds a line break moves the caret instead.
    void historyRecallsCommandsAcrossARestart()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, "1B 40"));
        QVERIFY(PlatTestClick(console, IDC_UC_HEX));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(PlatTestClick(console, IDC_UC_CLEAR));
        QVERIFY(PlatTestClick(console, IDC_UC_HEX));
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, "abc"));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(printer.waitForBytes(5, 5000ms));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(PlatTestClick(console, IDC_UC_EXIT));

        console = OpenConsole();
        QVERIFY(PlatTestFocus(console, IDC_UC_INPUT));
        QVERIFY(PlatTestKey(console, Qt::Key_Up));
        QCOMPARE(PlatTestText(console, IDC_UC_INPUT), std::string("abc"));
        QVERIFY(!PlatTestChecked(console, IDC_UC_HEX));
        QVERIFY(PlatTestKey(console, Qt::Key_Up));
        QCOMPARE(PlatTestText(console, IDC_UC_INPUT), std::string("1B 40"));
        QVERIFY(PlatTestChecked(console, IDC_UC_HEX));
        QVERIFY(PlatTestKey(console, Qt::Key_Down));
        QVERIFY(PlatTestKey(console, Qt::Key_Down));
        QCOMPARE(PlatTestText(console, IDC_UC_INPUT), std::string());

        SetDlgItemTextA(console, IDC_UC_INPUT, "one\r\ntwo");
        QVERIFY(PlatTestKey(console, Qt::Key_Up));
        QCOMPARE(PlatTestText(console, IDC_UC_INPUT), std::string("one\r\ntwo"));
    }

    // A history.txt that is a link is written through it: the link stays and
    // the file it leads to holds the history. One that cannot be written (a
    // folder in its place) is said once, however often it fails.
    void historyWritesThroughALinkAndSaysOnceWhenItCannot()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        const std::filesystem::path config = bench.dir().path() + "/config";
        const std::filesystem::path shared = bench.dir().path() + "/shared";
        std::filesystem::create_directories(config);
        std::filesystem::create_directories(shared);
        std::filesystem::create_symlink("../shared/history.txt", config / "history.txt"); // not there yet
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        for (const char* typed : {"abc", "def"}) {
            QVERIFY(PlatTestClick(console, IDC_UC_CLEAR));
            QVERIFY(PlatTestType(console, IDC_UC_INPUT, typed));
            QVERIFY(PlatTestClick(console, IDC_UC_SEND));
            QVERIFY(rig::WaitPortIdle(5000));
            QVERIFY(std::filesystem::is_symlink(config / "history.txt"));
            QVERIFY(ReadFile((shared / "history.txt").string()).find(std::string("T ") + typed) != std::string::npos);
        }
        QVERIFY(printer.waitForBytes(6, 5000ms));
        QVERIFY(rig::MessageTexts().empty());
        QCOMPARE(std::distance(std::filesystem::directory_iterator(shared), {}), 1L); // no file left beside it

        std::filesystem::remove(shared / "history.txt");
        std::filesystem::create_directory(shared / "history.txt");
        for (const char* typed : {"ghi", "jkl"}) {
            QVERIFY(PlatTestClick(console, IDC_UC_CLEAR));
            QVERIFY(PlatTestType(console, IDC_UC_INPUT, typed));
            QVERIFY(PlatTestClick(console, IDC_UC_SEND));
            QVERIFY(rig::WaitPortIdle(5000));
        }
        QVERIFY(printer.waitForBytes(12, 5000ms));
        QCOMPARE(rig::MessageTexts(),
                 Texts{"命令历史没有保存: 它是一个文件夹\n历史文件：" + (config / "history.txt").string()});
    }

    // The receive area's texts are whole, the count up to ten digits (a
    // minute's flood at 1 MB/s is eight), and its controls stay apart and
    // inside their group box.
    void receiveAreaTextsAreWhole()
    {
        rig::Bench bench;
        HWND console = OpenConsole();
        const auto area = [&](int id) { return PlatTestWidget(GetDlgItem(console, id))->geometry(); };
        const int ids[] = {IDC_UC_RX_HEX,   IDC_UC_RX_STAMPS, IDC_UC_RX_CLEAR,   IDC_UC_STATUS_QUERY,
                           IDC_UC_RX_COUNT, IDC_UC_LINE_END,  IDC_UC_LOG_SAVE,   IDC_UC_LOG_APPEND};
        QStringList clipped, overlapping;
        for (int id : ids) {
            QWidget* control = PlatTestWidget(GetDlgItem(console, id));
            QString text;
            if (id == IDC_UC_RX_COUNT)
                text = QString::fromStdString(Count(9999999999));
            else if (auto* label = qobject_cast<QLabel*>(control))
                text = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(control))
                text = button->text();
            // With a character to spare, and room for a check box's box.
            const QFontMetrics metrics = control->fontMetrics();
            const int box = qobject_cast<QCheckBox*>(control) ? 20 : 0;
            if (metrics.horizontalAdvance(text) + metrics.averageCharWidth() + box > control->width())
                clipped << text;
            if (!area(IDC_UC_RX_GROUP).contains(area(id)))
                overlapping << text + " (outside its group)";
            for (int other : ids)
                if (other != id && area(id).intersects(area(other)))
                    overlapping << text;
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(" | ")));
        QCOMPARE(overlapping, QStringList{});
    }

    // On a screen shorter than the console, only the receive view (and its
    // group box) gives up height: every other control stays where it is.
    void shortScreenShrinksOnlyTheView()
    {
        const int ids[] = {IDC_UC_PARALLEL, IDC_UC_INPUT, IDC_UC_SEND, IDC_UC_FILE_NAME, IDC_UC_EXIT,
                           IDC_UC_RX_HEX,   IDC_UC_RX_COUNT, IDC_UC_LINE_END, IDC_UC_LOG_APPEND, IDC_UC_RX_VIEW};
        auto place = [](HWND console, int id) {
            RECT r{};
            GetWindowRect(GetDlgItem(console, id), &r);
            POINT at{r.left, r.top};
            ScreenToClient(console, &at);
            return std::array<LONG, 4>{at.x, at.y, r.right - r.left, r.bottom - r.top};
        };
        HWND console = OpenConsole();
        RECT tall{};
        GetWindowRect(console, &tall);
        std::vector<std::array<LONG, 4>> before;
        for (int id : ids)
            before.push_back(place(console, id));
        PlatTestDestroyAll();

        const int screen = (tall.bottom - tall.top) - 40;
        PlatTestSetScreenSize(1024, screen);
        console = OpenConsole();
        RECT shortened{};
        QVERIFY(PlatTestWaitFor(
            [&] { return GetWindowRect(console, &shortened) && shortened.bottom - shortened.top < tall.bottom - tall.top; },
            5000));
        PlatTestSetScreenSize(0, 0);
        QVERIFY(shortened.bottom - shortened.top <= screen);
        for (size_t i = 0; i + 1 < std::size(ids); ++i)
            QCOMPARE(place(console, ids[i]), before[i]);
        const auto view = place(console, IDC_UC_RX_VIEW);
        QCOMPARE(view[3], before.back()[3] - 40);
        QVERIFY(PlatTestVisible(console, IDC_UC_RX_VIEW));
    }

    // "保存记录…" asks for a name to write: a new name is taken (with .txt
    // added when it has no extension), and an existing file is replaced only
    // once the user says so.
    void logSaveChoosesANameToWrite()
    {
        struct Case {
            const char* name;
            const char* answer;   // the name given to the chooser
            int replace;          // the answer to "已存在", 0 when none is asked
            const char* written;  // the file that must hold the log
            Texts asked;
        };
        const Case cases[] = {
            {"a new name without an extension", "session", 0, "session.txt", {}},
            {"a new name with one", "session.log", 0, "session.log", {}},
            {"an existing file, replaced", "old.txt", IDYES, "old.txt", {"old.txt 已存在。\n要替换它吗?"}},
            {"an existing file, kept", "old.txt", IDNO, nullptr, {"old.txt 已存在。\n要替换它吗?"}},
        };
        rig::Bench bench;
        bench.serial();
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        QVERIFY(PlatTestClick(console, IDC_UC_STATUS_QUERY));
        QVERIFY(WaitCount(console, 4));
        for (const Case& c : cases) {
            RowTrace trace{c.name};
            const std::string folder = bench.dir().path() + "/" + std::to_string(&c - cases);
            std::filesystem::create_directory(folder);
            std::ofstream(folder + "/old.txt") << "keep";
            PlatTestClearMessageBoxes();
            PlatTestSetMessageBoxAnswer(c.replace);
            const int saves = PlatTestFileChooserSaves();
            PlatTestFileChooserAnswer(folder + "/" + c.answer);
            if (c.replace == IDNO)
                PlatTestFileChooserCancel(); // the chooser again after a "否"
            QVERIFY(PlatTestClick(console, IDC_UC_LOG_SAVE));
            QCOMPARE(PlatTestFileChooserSaves(), saves + (c.replace == IDNO ? 2 : 1));
            PlatTestSetMessageBoxAnswer(0);
            QCOMPARE(rig::MessageTexts(), c.asked);
            if (c.written) {
                const Texts lines = Unstamped(ReadFile(folder + "/" + c.written));
                QVERIFY(!lines.empty());
                QCOMPARE(lines.front(), std::string("发送 10 04 01 10 04 02 10 04 03 10 04 04"));
            }
            if (c.replace != IDYES)
                QCOMPARE(ReadFile(folder + "/old.txt"), std::string("keep"));
            if (c.written && std::string(c.answer) != c.written)
                QVERIFY(!std::filesystem::exists(folder + "/" + c.answer));
        }
    }

    // A log file that stops taking lines says so once; the session goes on.
    void unwritableLogSaysSoOnce()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        // A folder in place of the file cannot be written at all.
        const std::string folder = bench.dir().path() + "/folder";
        std::filesystem::create_directory(folder);
        SaveLog(console, folder, true);
        QCOMPARE(rig::MessageTexts(), Texts{"记录文件无法写入：" + folder});
        PlatTestClearMessageBoxes();
        QVERIFY(printer.sendToHost({1, 2, 3}));
        QVERIFY(WaitCount(console, 3));
        QVERIFY(rig::MessageTexts().empty());

        // A file that fills up in the middle of the session: said once, the
        // view goes on counting. (The file size limit stands in for a full disk.)
        const std::string log = bench.dir().path() + "/full.log";
        SaveLog(console, log, true);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto savedSignal = signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = std::filesystem::file_size(log) + 40;
        setrlimit(RLIMIT_FSIZE, &small);
        for (uint8_t i = 0; i < 5; ++i) {
            QVERIFY(printer.sendToHost(Bytes(32, i)));
            QVERIFY(WaitCount(console, 3 + 32 * (i + 1)));
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, savedSignal);
        QCOMPARE(rig::MessageTexts(), Texts{"记录文件无法写入，已停止记录：" + log});
        QVERIFY(!PlatTestChecked(console, IDC_UC_LOG_APPEND));
    }
};

PLAT_TEST_MAIN_WITH(TestConsoleReceive, ResRegister)

#include "tst_console_receive.moc"
