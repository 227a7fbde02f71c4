// The dialogs on the network printer against the virtual printer on the
// loopback address: every console send and test print gives the printer the
// same bytes as over USB; the printer's answers reach the receive view over
// the same connection; a refused connect says so; the port settings store
// the printer and test the connection.
#include "port/network.h"
#include "port/port.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "sim/tcp.h"
#include "support/full_listener.h"
#include "ui/console/console.h"
#include "ui/ports/ports.h"
#include "ui/support/printer_rig.h"
#include "ui/testprint/testprint.h"
#include "ui/tools/tools.h"

#include <QtTest/QtTest>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

namespace {

enum Tab { kChar, kGbk, kBmark, kDianliu, kOther, kUsb };

void Aim(const sim::TcpPrinter& printer)
{
    std::strcpy(gNetInfo.host, "127.0.0.1");
    gNetInfo.port = printer.port();
    gNetInfo.timeoutSeconds = NET_DEFAULT_TIMEOUT_S;
}

// One job run in a dialog with its port radio already chosen.
using Job = std::function<bool(HWND)>;

// The bytes a job gives a USB printer and a network printer, each from a
// dialog of its own, and the text of `shown` (a control of the dialog) after it.
struct Run {
    Bytes usb, network;
    std::string usbShown, networkShown;
};

bool RunIn(HWND dialog, int radio, const Job& job)
{
    return dialog != nullptr && PlatTestClick(dialog, radio) && job(dialog) && rig::WaitPortIdle(10000);
}

Run BothWays(const std::function<HWND()>& open, int usbRadio, int networkRadio, const Job& job, int shown = 0)
{
    Run run;
    rig::Bench bench;
    sim::UsbPrinter& usb = bench.usb(0);
    sim::TcpPrinter network(sim::TcpOptions{"127.0.0.1:0", sim::Busy::Refuse, 0ms});
    Aim(network);
    HWND first = open();
    if (!RunIn(first, usbRadio, job))
        return run;
    if (shown != 0)
        PlatTestWaitFor([&] { return PlatTestText(first, IDC_UC_RX_COUNT) != "已接收 0 字节"; }, 5000);
    run.usbShown = shown != 0 ? PlatTestText(first, shown) : "";
    PlatTestDestroyAll();
    HWND second = open();
    if (!RunIn(second, networkRadio, job))
        return run;
    if (shown != 0)
        PlatTestWaitFor([&] { return PlatTestText(second, shown) == run.usbShown; }, 5000);
    run.networkShown = shown != 0 ? PlatTestText(second, shown) : "";
    PlatTestDestroyAll();
    // Both ports were idle: what is left is the printers' own reading.
    network.waitForBytes(usb.received().size(), 5000ms);
    usb.waitForBytes(network.received().size(), 5000ms);
    run.usb = usb.received();
    run.network = network.received();
    return run;
}

HWND OpenConsole()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, bUserCmdDlgProc);
}

HWND OpenTestDialog()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TEST), nullptr, bTestDlgProc);
}

HWND OpenPortSettings()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_PORT_SETTINGS), nullptr, bPortSetDlgProc);
}

} // namespace

class TestNetwork : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(), PlatTestClearMessageBoxes(); }
    void cleanup() { PlatTestDestroyAll(); }

    // Every kind of console send, once: the network printer gets the USB
    // printer's bytes; the status query's answers are decoded in the view alike.
    void consoleSendsMatchUsb()
    {
        struct Case {
            const char* what;
            Job job;
            int shown;
        };
        const std::string file = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/net28_cmds.bin";
        {
            std::ofstream out(file, std::ios::binary);
            for (int i = 0; i < 3000; ++i)
                out.put(static_cast<char>(i % 251 == 0x10 ? 0x20 : i % 251));
        }
        const Case cases[] = {
            {"hex",
             [](HWND c) { return PlatTestClick(c, IDC_UC_HEX) && PlatTestType(c, IDC_UC_INPUT, "1B 40 41 42 0A 1D 56 00") && PlatTestClick(c, IDC_UC_SEND); },
             0},
            {"text", [](HWND c) { return PlatTestType(c, IDC_UC_INPUT, "网络打印 ok") && PlatTestClick(c, IDC_UC_SEND); }, 0},
            {"status query", [](HWND c) { return PlatTestClick(c, IDC_UC_STATUS_QUERY); }, IDC_UC_RX_VIEW},
            {"file",
             [&](HWND c) {
                 PlatTestFileChooserAnswer(file);
                 return PlatTestClick(c, IDC_UC_SEL_FILE) && PlatTestClick(c, IDC_UC_SEND_FILE);
             },
             0},
        };
        for (const Case& c : cases) {
            const Run run = BothWays(OpenConsole, IDC_UC_USB, IDC_UC_NETWORK, c.job, c.shown);
            QVERIFY2(!run.usb.empty(), c.what);
            QVERIFY2(run.network == run.usb, c.what);
            QCOMPARE(run.networkShown, run.usbShown);
            if (c.shown != 0)
                QVERIFY2(run.networkShown.find("DLE EOT") != std::string::npos, run.networkShown.c_str());
            QCOMPARE(rig::MessageTexts(), Texts{});
        }
    }

    // The test dialog's prints: the same bytes over the network as over USB.
    void testPrintsMatchUsb()
    {
        struct Case {
            const char* what;
            int tab;
            int button;
        } cases[] = {
            {"full cut", kOther, IDC_OT_CUT_FULL},
            {"sample receipt", kOther, IDC_OT_SAMPLE},
            {"drawer", kOther, IDC_OT_DRAWER1},
            {"cutter on", kOther, IDC_OT_CUTTER_ON},
        };
        for (const Case& c : cases) {
            const Run run = BothWays(OpenTestDialog, IDC_T_USB, IDC_T_NETWORK, [&](HWND dialog) {
                if (c.tab != kChar && !PlatTestSelectTab(dialog, IDC_T_TAB, c.tab))
                    return false;
                return PlatTestClick(gTabPages[static_cast<size_t>(c.tab)], c.button);
            });
            QVERIFY2(!run.usb.empty(), c.what);
            QVERIFY2(run.network == run.usb, c.what);
            QCOMPARE(rig::MessageTexts(), Texts{});
        }
        // The toolbox's pages too: a code page, the same bytes on both ports.
        const Run run = BothWays(
            [] { return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TOOLS), nullptr, bToolsDlgProc); }, IDC_TL_USB,
            IDC_TL_NETWORK, [](HWND dialog) {
                return PlatTestSelectTab(dialog, IDC_TL_TAB, 1) && PlatTestClick(gTools.pages[1], IDC_CP_PRINT);
            });
        QVERIFY(!run.usb.empty());
        QVERIFY(run.network == run.usb);
        QCOMPARE(rig::MessageTexts(), Texts{});
    }

    // Nothing listens: the radio does not stay chosen and the message names
    // host:port and the refusal, at once.
    void refusedConnectSaysSo()
    {
        rig::Bench bench;
        WORD port = 0;
        {
            sim::TcpPrinter gone(sim::TcpOptions{"127.0.0.1:0", sim::Busy::Refuse, 0ms});
            port = gone.port();
        }
        std::strcpy(gNetInfo.host, "127.0.0.1");
        gNetInfo.port = port;
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_NETWORK));
        QVERIFY(!PlatTestChecked(console, IDC_UC_NETWORK));
        QCOMPARE(rig::MessageTexts(), Texts{"连接网络打印机失败!\n127.0.0.1:" + std::to_string(port) +
                                            "：连接被拒绝，打印机的端口没有打开，或另一台电脑正在使用打印机"});
    }

    // A connect to an address that does not answer keeps the console live:
    // its timers run, a second click on the radio is refused rather than
    // starting another connect, and closing the console ends the connect at
    // once, leaving the port closed, without a message box: the user asked.
    void connectKeepsWindowLiveAndCloseEndsIt()
    {
        rig::Bench bench;
        FullListener silent;
        std::strcpy(gNetInfo.host, "127.0.0.1");
        gNetInfo.port = silent.port;
        gNetInfo.timeoutSeconds = NET_DEFAULT_TIMEOUT_S;
        PortSetWaitPump(DeliverWindowMessages);
        HWND console = OpenConsole();
        QVERIFY(console != nullptr);
        bool timerRan = false, secondClickRefused = false, stillConnecting = false;
        std::chrono::steady_clock::time_point closed{};
        QTimer::singleShot(0, [&] {
            timerRan = true;
            PlatTestClick(console, IDC_UC_NETWORK);
            // A second connect would have ended (refused, timed out) and
            // left the record closed.
            secondClickRefused = gCurrentPort.state == PORT_STATE_BUSY && gPortConnecting;
            stillConnecting = gPortConnecting;
            closed = std::chrono::steady_clock::now();
            SendMessageA(console, WM_CLOSE, 0, 0);
        });
        PlatTestClick(console, IDC_UC_NETWORK);
        const auto ended = std::chrono::steady_clock::now();
        PortSetWaitPump(nullptr);
        QVERIFY(timerRan);
        QVERIFY(stillConnecting);
        QVERIFY(secondClickRefused);
        const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(ended - closed).count();
        qInfo("close ended the connect in %lld ms", static_cast<long long>(tookMs));
        QVERIFY2(tookMs < 100, std::to_string(tookMs).c_str());
        QCOMPARE(gCurrentPort.state.load(), PORT_STATE_CLOSED);
        QVERIFY(gCurrentPort.handle == nullptr);
        QVERIFY(!gPortConnecting);
        const auto boxes = PlatTestMessageBoxes();
        QVERIFY2(boxes.empty(), boxes.empty() ? "" : boxes.front().text.c_str());
    }

    // 端口设置: the printer typed, tested (DLE EOT 1 and its decoded answer),
    // stored with readable keys and shown again; a bad port loses nothing.
    void portSettingsStoreAndTestTheNetworkPrinter()
    {
        rig::Bench bench;
        sim::TcpPrinter printer(sim::TcpOptions{"127.0.0.1:0", sim::Busy::Refuse, 0ms});
        HWND dialog = OpenPortSettings();
        QCOMPARE(PlatTestText(dialog, IDC_PS_NET_PORT), std::string("9100"));
        QCOMPARE(PlatTestText(dialog, IDC_PS_NET_TIMEOUT), std::string("5"));
        QVERIFY(PlatTestType(dialog, IDC_PS_NET_HOST, "127.0.0.1"));
        SetDlgItemTextA(dialog, IDC_PS_NET_PORT, ""); // typed over, as a user selects and types
        QVERIFY(PlatTestType(dialog, IDC_PS_NET_PORT, std::to_string(printer.port())));
        QVERIFY(PlatTestClick(dialog, IDC_PS_NET_TEST));
        const std::string result = PlatTestText(dialog, IDC_PS_NET_RESULT);
        QVERIFY2(result.starts_with("127.0.0.1:" + std::to_string(printer.port()) + "：已连接，状态 "), result.c_str());
        QVERIFY(printer.waitForBytes(3, 5000ms));
        QCOMPARE(printer.received(), (Bytes{0x10, 0x04, 0x01}));

        SetDlgItemTextA(dialog, IDC_PS_NET_PORT, "");
        QVERIFY(PlatTestType(dialog, IDC_PS_NET_PORT, "70000"));
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QCOMPARE(rig::MessageTexts().size(), size_t(1));
        QVERIFY(rig::MessageTexts().front().find("端口是 1 到 65535") != std::string::npos);
        SetDlgItemTextA(dialog, IDC_PS_NET_PORT, "");
        QVERIFY(PlatTestType(dialog, IDC_PS_NET_PORT, "9101"));
        SetDlgItemTextA(dialog, IDC_PS_NET_TIMEOUT, "");
        QVERIFY(PlatTestType(dialog, IDC_PS_NET_TIMEOUT, "7"));
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        std::ifstream stored(PlatSettingsFolder() + "/network.conf");
        std::stringstream text;
        text << stored.rdbuf();
        QVERIFY2(text.str().find("host=127.0.0.1\nport=9101\ntimeout=7\n") != std::string::npos, text.str().c_str());
        gNetInfo = NetPrinter{};
        HWND again = OpenPortSettings();
        QCOMPARE(PlatTestText(again, IDC_PS_NET_HOST), std::string("127.0.0.1"));
        QCOMPARE(PlatTestText(again, IDC_PS_NET_PORT), std::string("9101"));
        QCOMPARE(PlatTestText(again, IDC_PS_NET_TIMEOUT), std::string("7"));
    }
};

PLAT_TEST_MAIN_WITH(TestNetwork, ResRegister)
#include "tst_network.moc"
