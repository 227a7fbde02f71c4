// mptest-cli against the dialogs: every job run in this process against the
// virtual printer sends exactly what the dialog sends for the same settings,
// and bad input ends with its exit code and nothing sent.
#include "cli/cli.h"
#include "port/port.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "ui/console/console.h"
#include "ui/download/download.h"
#include "ui/support/cli_run.h"
#include "ui/support/printer_rig.h"
#include "ui/testprint/testprint.h"

#include <QtTest>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Args = std::vector<std::string>;

namespace {

int Cli(const Args& args)
{
    return RunCli(args);
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

Bytes Pattern(size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 13 ^ (i >> 7));
    return bytes;
}

// A page of the test dialog, open on the parallel port.
HWND TestPage(int tab)
{
    HWND dialog = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TEST), nullptr, bTestDlgProc);
    if (!PlatTestSelectTab(dialog, IDC_T_TAB, tab))
        return nullptr;
    return gTabPages[static_cast<size_t>(tab)];
}

void Press(int tab, const std::function<void(HWND)>& setup, int button)
{
    HWND page = TestPage(tab);
    QVERIFY(page != nullptr);
    setup(page);
    QVERIFY(PlatTestClick(page, button));
    QVERIFY(rig::WaitPortIdle(10000));
}

void Click(HWND page, int id)
{
    QVERIFY(PlatTestClick(page, id));
}

void None(HWND) {}

enum Tab { kChar, kGbk, kBmark, kDianliu, kOther };

struct Case {
    const char* name;
    Args cli;
    std::function<void()> dialog;
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        PlatTestRecordMessageBoxes();
        PlatTestClearMessageBoxes();
    }
    void cleanup() { PlatTestDestroyAll(); }

    void everyJobSendsWhatItsDialogSends()
    {
        testsupport::TempDir files;
        const std::string file = files.path() + "/job.bin";
        WriteFile(file, Pattern(3000));
        auto type = [](int id, const char* text) {
            return [id, text](HWND page) {
                SetDlgItemTextA(page, id, ""); // the distances start at "0"
                QVERIFY(PlatTestType(page, id, text));
            };
        };
        auto row = [](int id, int n) { return [id, n](HWND page) { QVERIFY(PlatTestSelectComboRow(page, id, n)); }; };
        auto console = [](const std::function<void(HWND)>& setup, int button) {
            HWND c = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, bUserCmdDlgProc);
            QVERIFY(PlatTestClick(c, IDC_UC_PARALLEL));
            setup(c);
            QVERIFY(PlatTestClick(c, button));
            QVERIFY(rig::WaitPortIdle(10000));
        };
        auto download = [&](DLGPROC proc, int id, int parallel, int chooser, int start, bool enter) {
            HWND d = PlatTestOpenDialog(MAKEINTRESOURCEA(id), nullptr, proc);
            QVERIFY(PlatTestClick(d, parallel));
            if (enter) {
                QVERIFY(PlatTestClick(d, IDC_DV_ENTER_DOWNLOAD));
                QVERIFY(rig::WaitPortIdle(5000));
            }
            PlatTestFileChooserAnswer(file);
            QVERIFY(PlatTestClick(d, chooser));
            QVERIFY(PlatTestClick(d, start));
            QVERIFY(rig::WaitPortIdle(20000));
        };
        const std::vector<Case> cases{
            {"chinese zone 5, double height", {"test", "chinese", "--zone", "5", "--double-height"},
             [&] { Press(kGbk, [&](HWND p) { row(IDC_GBK_ZONE, 4)(p); Click(p, IDC_GBK_DHEIGHT); }, IDC_GBK_START); }},
            {"chinese default", {"test", "chinese"}, [&] { Press(kGbk, None, IDC_GBK_START); }},
            {"black mark on", {"test", "black-mark", "on"}, [&] { Press(kBmark, None, IDC_BM_ON); }},
            {"black mark off", {"test", "black-mark", "off"}, [&] { Press(kBmark, None, IDC_BM_OFF); }},
            {"distance A -30", {"test", "black-mark-distance", "A", "-30"},
             [&] { Press(kBmark, type(IDC_BM_DIST_A, "-30"), IDC_BM_SET_A); }},
            {"distance A past its 9 characters", {"test", "black-mark-distance", "A", "1234567890"},
             [&] { Press(kBmark, type(IDC_BM_DIST_A, "1234567890"), IDC_BM_SET_A); }},
            {"distance B 57", {"test", "black-mark-distance", "B", "57"},
             [&] { Press(kBmark, type(IDC_BM_DIST_B, "57"), IDC_BM_SET_B); }},
            {"distance C 1234", {"test", "black-mark-distance", "C", "1234"},
             [&] { Press(kBmark, type(IDC_BM_DIST_C, "1234"), IDC_BM_SET_C); }},
            {"black-mark test and cut", {"test", "black-mark-test", "--cut"},
             [&] { Press(kBmark, [](HWND p) { Click(p, IDC_BM_CUT); }, IDC_BM_TEST); }},
            {"black-mark test", {"test", "black-mark-test"}, [&] { Press(kBmark, None, IDC_BM_TEST); }},
            {"carriage", {"test", "current", "carriage"}, [&] { Press(kDianliu, None, IDC_DL_CARRIAGE); }},
            {"feed", {"test", "current", "feed"}, [&] { Press(kDianliu, None, IDC_DL_FEED); }},
            {"pins", {"test", "current", "pins"}, [&] { Press(kDianliu, None, IDC_DL_PINS); }},
            {"all black", {"test", "all-black"}, [&] { Press(kOther, None, IDC_OT_BLACK); }},
            {"sample", {"test", "sample"}, [&] { Press(kOther, None, IDC_OT_SAMPLE); }},
            {"drawer 1", {"test", "drawer", "1"}, [&] { Press(kOther, None, IDC_OT_DRAWER1); }},
            {"drawer 2", {"test", "drawer", "2"}, [&] { Press(kOther, None, IDC_OT_DRAWER2); }},
            {"full cut", {"test", "cut", "full"}, [&] { Press(kOther, None, IDC_OT_CUT_FULL); }},
            {"partial cut", {"test", "cut", "partial"}, [&] { Press(kOther, None, IDC_OT_CUT_PART); }},
            {"cutter on", {"test", "cutter", "on"}, [&] { Press(kOther, None, IDC_OT_CUTTER_ON); }},
            {"cutter off", {"test", "cutter", "off"}, [&] { Press(kOther, None, IDC_OT_CUTTER_OFF); }},
            {"baud 1200", {"test", "baud", "0"}, [&] { Press(kOther, row(IDC_OT_BAUD, 0), IDC_OT_SET_BAUD); }},
            {"baud 38400", {"test", "baud", "5"}, [&] { Press(kOther, row(IDC_OT_BAUD, 5), IDC_OT_SET_BAUD); }},
            {"hex", {"send", "--hex", "1B 40 0a 1d56 00"},
             [&] { console([&](HWND c) { type(IDC_UC_INPUT, "1B 40 0a 1d56 00")(c); Click(c, IDC_UC_HEX); }, IDC_UC_SEND); }},
            {"text in GBK", {"send", "--text", "测试 printer"},
             [&] { console(type(IDC_UC_INPUT, "测试 printer"), IDC_UC_SEND); }},
            {"command file", {"send", "--file", file},
             [&] {
                 console([&](HWND c) { PlatTestFileChooserAnswer(file); Click(c, IDC_UC_SEL_FILE); }, IDC_UC_SEND_FILE);
             }},
            {"firmware", {"firmware", file},
             [&] { download(bDownVerFileDlgProc, IDD_DOWN_VERSION, IDC_DV_PARALLEL, IDC_DV_SEL_FILE, IDC_DV_SEND, true); }},
            {"font", {"font", file},
             [&] { download(bDownFontFileDlgProc, IDD_DOWN_FONT, IDC_DF_PARALLEL, IDC_DF_SEL_FILE, IDC_DF_SEND, false); }},
            {"machine number and its print", {"machine-number", "KQ58abc00042", "--print"},
             [&] {
                 HWND d = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_DOWN_PRN_NUM), nullptr, bDownPrnNumDlgProc);
                 QVERIFY(PlatTestClick(d, IDC_DN_PARALLEL));
                 QVERIFY(PlatTestType(d, IDC_DN_NUMBER, "KQ58abc00042"));
                 QVERIFY(PlatTestClick(d, IDC_DN_SEND));
                 QVERIFY(rig::WaitPortIdle(5000));
                 QVERIFY(PlatTestClick(d, IDC_DN_PRINT));
                 QVERIFY(rig::WaitPortIdle(5000));
             }},
        };
        for (const Case& c : cases) {
            Bytes fromDialog;
            {
                rig::Bench bench;
                c.dialog();
                fromDialog = bench.parallelPrinter().received();
                PlatTestDestroyAll();
            }
            QVERIFY2(!fromDialog.empty(), c.name);
            rig::Bench bench;
            Args args = c.cli;
            args.insert(args.end(), {"--port", "parallel", "--quiet"});
            QCOMPARE(Cli(args), kExitOk);
            QVERIFY2(bench.parallelPrinter().received() == fromDialog, c.name);
            QVERIFY2(rig::MessageTexts().empty(), c.name);
        }
    }

    // The Latin page repeats until stopped; mptest-cli gives whole passes.
    void latinPassesAreThePagesRepeats()
    {
        for (const bool modes : {false, true}) {
            Bytes onePass;
            {
                rig::Bench bench;
                Args args{"test", "latin", "--port", "parallel", "--quiet"};
                if (modes)
                    args.insert(args.end(), {"--pattern", "H", "--font", "9x9", "--double-width", "--underline"});
                QCOMPARE(Cli(args), kExitOk);
                onePass = bench.parallelPrinter().received();
                args.insert(args.end(), {"--passes", "2"});
                QCOMPARE(Cli(args), kExitOk);
                Bytes twice = onePass;
                twice.insert(twice.end(), onePass.begin(), onePass.end());
                twice.insert(twice.end(), onePass.begin(), onePass.end());
                QVERIFY(bench.parallelPrinter().received() == twice);
            }
            rig::Bench bench;
            HWND page = TestPage(kChar);
            if (modes) {
                Click(page, IDC_CHAR_H);
                QVERIFY(PlatTestSelectComboRow(page, IDC_CHAR_FONT, 1));
                Click(page, IDC_CHAR_DWIDTH);
                Click(page, IDC_CHAR_UNDERLINE);
            }
            Click(page, IDC_CHAR_START);
            auto& printer = bench.parallelPrinter();
            QTRY_VERIFY_WITH_TIMEOUT(printer.received().size() >= onePass.size(), 5000);
            Click(page, IDC_CHAR_STOP);
            QVERIFY(rig::WaitPortIdle(5000));
            const Bytes got = printer.received();
            QVERIFY(!got.empty() && got.size() % onePass.size() == 0);
            for (size_t at = 0; at < got.size(); at += onePass.size())
                QVERIFY(std::equal(onePass.begin(), onePass.end(), got.begin() + long(at)));
            PlatTestDestroyAll();
        }
    }

    void theUsbStringIsWrittenAsThePageWritesIt()
    {
        Bytes fromPage;
        {
            rig::Bench bench;
            auto& printer = bench.usb();
            HWND dialog = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TEST), nullptr, bTestDlgProc);
            QVERIFY(PlatTestClick(dialog, IDC_T_USB));
            QVERIFY(PlatTestSelectTab(dialog, IDC_T_TAB, 5));
            QVERIFY(PlatTestClick(gTabPages[5], IDC_USB_WRITE));
            QTRY_VERIFY_WITH_TIMEOUT(!printer.received().empty(), 5000);
            fromPage = printer.received();
            PlatTestDestroyAll();
        }
        rig::Bench bench;
        auto& printer = bench.usb();
        QCOMPARE(Cli({"test", "usb-write", "--port", "usb", "--quiet", "--device-root", bench.dir().path()}), kExitOk);
        QTRY_VERIFY_WITH_TIMEOUT(printer.received() == fromPage, 5000);
        // The string test is for USB alone, as on the page.
        QCOMPARE(Cli({"test", "usb-read", "--port", "parallel", "--quiet"}), kExitFailed);
    }

    void badInputSendsNothing()
    {
        testsupport::TempDir files;
        const std::string big = files.path() + "/big.bin";
        WriteFile(big, Bytes(MAX_SEND_FILE_SIZE + 1, 0x41));
        const std::string empty = files.path() + "/empty.bin";
        WriteFile(empty, {});
        const std::string counter = files.path() + "/counter";
        std::ofstream(counter) << "KQ58-0001\n";
        const std::vector<std::pair<Args, int>> refused{
            {{"test", "nonesuch"}, kExitUsage},
            {{"test", "drawer", "3"}, kExitUsage},
            {{"test", "chinese", "--zone", "6"}, kExitUsage},
            {{"test", "sample", "--bogus"}, kExitUsage},
            {{"send", "--hex", "1B", "--text", "x"}, kExitUsage},
            {{"send", "--hex", "1B", "--serial", "9600,8,N,1"}, kExitUsage},
            {{"send", "--hex", "1B", "--serial", "9601,8,N,1,none"}, kExitUsage},
            {{"send", "--hex", "zz"}, kExitUsage},
            {{"send", "--file", files.path() + "/missing.bin"}, kExitFailed},
            {{"send", "--file", big}, kExitFailed},
            {{"firmware", big}, kExitFailed},
            {{"firmware", empty}, kExitFailed},
            {{"font", empty}, kExitFailed},
            {{"send", "--hex", "1B 4G"}, kExitUsage},
            {{"machine-number", "KQ58000000001"}, kExitFailed},
            {{"machine-number", "KQ58 0000001"}, kExitFailed},
            {{"machine-number", "--next-from", counter}, kExitFailed},
            {{"machine-number", "--next-from", files.path() + "/none"}, kExitFailed},
        };
        for (const auto& [args, code] : refused) {
            rig::Bench bench;
            Args all = args;
            all.insert(all.end(), {"--port", "parallel", "--quiet"});
            QCOMPARE(Cli(all), code);
            QVERIFY(bench.parallelPrinter().received().empty());
        }
        rig::Bench bench;
        QCOMPARE(Cli({"test", "sample", "--port", "COM9"}), kExitUsage);
        QCOMPARE(Cli({"test", "sample", "--port", "usb", "--quiet"}), kExitFailed); // no USB printer
        std::string kept;
        std::getline(std::ifstream(counter), kept);
        QCOMPARE(kept, std::string("KQ58-0001"));
    }

    // A number is used up only when the printer took it.
    void theCounterMovesOnlyPastNumbersThePrinterTook()
    {
        rig::Bench bench;
        const std::string counter = bench.dir().path() + "/counter";
        const std::string log = bench.dir().path() + "/log.csv";
        std::ofstream(counter) << "KQ5800000099\n";
        const Args fromCounter{"machine-number", "--next-from", counter, "--log", log, "--quiet", "--device-root",
                               bench.dir().path()};
        Args toUsb = fromCounter;
        toUsb.insert(toUsb.end(), {"--port", "usb"});
        QCOMPARE(Cli(toUsb), kExitFailed); // no printer on USB yet
        auto& printer = bench.usb();
        QCOMPARE(Cli(toUsb), kExitOk);
        QCOMPARE(Cli(toUsb), kExitOk);
        std::string next;
        std::getline(std::ifstream(counter), next);
        QCOMPARE(next, std::string("KQ5800000101"));
        std::ifstream lines(log);
        std::vector<std::string> results;
        for (std::string line; std::getline(lines, line);)
            results.push_back(line.substr(line.find(",usb,")));
        QCOMPARE(results.size(), size_t(3));
        QVERIFY(results[0].ends_with(",KQ5800000099,failed"));
        QVERIFY(results[1].ends_with(",KQ5800000099,ok"));
        QVERIFY(results[2].ends_with(",KQ5800000100,ok"));
        const Bytes got = printer.received();
        const std::string expected = PrnNumWriteBytes("KQ5800000099") + PrnNumWriteBytes("KQ5800000100");
        QTRY_VERIFY_WITH_TIMEOUT(printer.received() == Bytes(expected.begin(), expected.end()), 5000);
    }
};

PLAT_TEST_MAIN_WITH(TestCli, ResRegister)
#include "tst_cli.moc"
