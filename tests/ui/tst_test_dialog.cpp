// The test dialog driven as a technician drives it, against the virtual
// printer: the tab host and the port choice, then every button of the six
// pages with the exact bytes the printer receives.
#include "port/port.h"
#include "res/resource.h"
#include "res/resources.h"
#include "res/testprint_res.h"
#include "send/send.h"
#include "ui/support/printer_rig.h"
#include "ui/testprint/testprint.h"

#include <QTabBar>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

namespace {

enum Tab { kChar, kGbk, kBmark, kDianliu, kOther, kUsb };

// Runs when a tab change is notified, before the dialog handles it.
std::function<void()> gOnSelChange;

INT_PTR CALLBACK WatchingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && gOnSelChange && reinterpret_cast<const NMHDR*>(lParam)->code == TCN_SELCHANGE)
        gOnSelChange();
    return bTestDlgProc(dialog, message, wParam, lParam);
}

HWND OpenTestDialog()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TEST), nullptr, WatchingProc);
}

// The page of a tab, selecting the tab as a user does.
HWND ShowPage(HWND dialog, int tab)
{
    if (!PlatTestSelectTab(dialog, IDC_T_TAB, tab))
        return nullptr;
    return gTabPages[static_cast<size_t>(tab)];
}

Bytes Hex(const std::string& text)
{
    Bytes out;
    for (size_t i = 0; i + 2 <= text.size(); i += 3)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes Gbk(const std::string& utf8)
{
    const std::string g = PlatUtf8ToGbk(utf8);
    return Bytes(g.begin(), g.end());
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

using rig::MessageTexts;
using rig::kNoUsbPrinter;
using rig::NoCom1Device;

int VisiblePages()
{
    int visible = 0;
    for (HWND page : gTabPages)
        if (page != nullptr && PlatTestWidget(page)->isVisible())
            ++visible;
    return visible;
}

// One button press and what the printer must receive for it (or the length
// and ends of it).
struct Press {
    const char* name;
    int tab;
    std::function<void(HWND page)> setup;
    int button;
    Bytes expected;
    Bytes last = {}; // when given, `expected` is how the bytes begin and these how they end
    size_t length = 0;
};

void NoSetup(HWND) {}

} // namespace

class TestTestDialog : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(); PlatTestClearMessageBoxes(); }
    void cleanup() { gOnSelChange = nullptr; PlatTestDestroyAll(); }

    void opensOnTheLatinPageAndMakesEachPageOnce()
    {
        rig::Bench bench;
        gCurrentPort.type = PORT_SERIAL;
        gCurrentPort.state = PORT_STATE_IDLE;
        HWND dialog = OpenTestDialog();
        QVERIFY(PlatTestChecked(dialog, IDC_T_PARALLEL));
        QVERIFY(!PlatTestChecked(dialog, IDC_T_USB) && !PlatTestChecked(dialog, IDC_T_SERIAL));
        QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        HWND latin = gTabPages[kChar];
        for (size_t i = 1; i < gTabPages.size(); ++i)
            QVERIFY(gTabPages[i] == nullptr);
        QCOMPARE(VisiblePages(), 1);

        QTabBar* bar = PlatTestWidget(PlatTestFindControl(dialog, IDC_T_TAB))->findChild<QTabBar*>();
        QVERIFY(bar != nullptr);
        QStringList tabs;
        for (int i = 0; i < bar->count(); ++i)
            tabs << bar->tabText(i);
        QCOMPARE(tabs, (QStringList{"西文字符", "中文字符", "黑标测试", "电流测试", "常用测试", "USB测试"}));

        // The tab control sits at one dialog unit plus (30, 90) pixels, and
        // every page at the top-left corner of its display area.
        const auto* host = reinterpret_cast<TabHostRecord*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
        QVERIFY(host != nullptr);
        const LONG units = GetDialogBaseUnits();
        const QRect tab = PlatTestWidget(host->tabControl)->geometry();
        QCOMPARE(tab.topLeft(), QPoint(LOWORD(units) / 4 + 30, HIWORD(units) / 8 + 90));
        RECT display{tab.left(), tab.top(), tab.left() + tab.width(), tab.top() + tab.height()};
        SendMessageA(host->tabControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
        QCOMPARE(PlatTestWidget(latin)->pos(), QPoint(display.left, display.top));

        // What each page shows first; combo rows keep their insertion order.
        QCOMPARE(PlatTestComboRows(latin, IDC_CHAR_FONT), (Texts{"7x9", "9x9"}));
        QCOMPARE(PlatTestComboRows(ShowPage(dialog, kGbk), IDC_GBK_ZONE), (Texts{"1区", "2区", "3区", "4区", "5区"}));
        HWND other = ShowPage(dialog, kOther);
        QCOMPARE(PlatTestComboRows(other, IDC_OT_BAUD), (Texts{"1200", "2400", "4800", "9600", "19200", "38400"}));
        HWND usb = ShowPage(dialog, kUsb);
        QCOMPARE(PlatTestText(usb, IDC_USB_WRITTEN), std::string());
        QCOMPARE(PlatTestText(usb, IDC_USB_READBACK), std::string());
        HWND bmark = ShowPage(dialog, kBmark);
        for (int id : {IDC_BM_DIST_A, IDC_BM_DIST_B, IDC_BM_DIST_C})
            QCOMPARE(PlatTestText(bmark, id), std::string("0"));

        // Pages are made once, one shows at a time, and each keeps its settings.
        QVERIFY(PlatTestType(bmark, IDC_BM_DIST_A, "5"));
        QCOMPARE(ShowPage(dialog, kChar), latin);
        QVERIFY(PlatTestClick(latin, IDC_CHAR_DWIDTH));
        QVERIFY(PlatTestSelectComboRow(latin, IDC_CHAR_FONT, 1));
        for (int tab = 0; tab < kTestPageCount; ++tab) {
            QVERIFY(ShowPage(dialog, tab) != nullptr);
            QCOMPARE(VisiblePages(), 1);
            QVERIFY(PlatTestWidget(gTabPages[size_t(tab)])->isVisible());
        }
        QCOMPARE(ShowPage(dialog, kBmark), bmark);
        QCOMPARE(PlatTestText(bmark, IDC_BM_DIST_A), std::string("05"));
        QCOMPARE(ShowPage(dialog, kChar), latin);
        QVERIFY(PlatTestChecked(latin, IDC_CHAR_DWIDTH));
        QCOMPARE(int(SendDlgItemMessageA(latin, IDC_CHAR_FONT, CB_GETCURSEL, 0, 0)), 1);

        // Closing destroys the pages and frees the host.
        QVERIFY(PlatTestClick(dialog, IDC_T_CLOSE));
        QVERIFY(PlatTestDialogEnded(dialog));
        for (HWND page : gTabPages)
            QVERIFY(page == nullptr);
        QCOMPARE(GetWindowLongPtrA(dialog, GWLP_USERDATA), LONG_PTR(0));
    }

    void aMissingTabControlIsReportedAndTheDialogStillOpens()
    {
        rig::Bench bench;
        static const std::array items{
            DlgItemTemplate{IDC_T_PARALLEL, "BUTTON", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, "并行口", 8, 8, 50, 10},
            DlgItemTemplate{IDC_T_GROUP, "BUTTON", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, "测试项目", 7, 36, 286, 182},
            DlgItemTemplate{IDC_T_CLOSE, "BUTTON", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, "关闭", 243, 222, 50, 14},
        };
        static const DlgTemplate withoutTabs{IDD_TEST, nullptr, WS_POPUP | WS_CAPTION, 0, 0, 300, 240, "", 0,
                                             "System", 10, items};
        PlatTestAddDialogTemplate(&withoutTabs);
        HWND dialog = OpenTestDialog();
        PlatTestClearDialogTemplates();
        QCOMPARE(MessageTexts(), Texts{"tab control is null"});
        QCOMPARE(PlatTestMessageBoxes().front().caption, std::string("Error"));
        QVERIFY(gTabPages[kChar] != nullptr); // construction went on
        QVERIFY(PlatTestClick(dialog, IDC_T_CLOSE));
        QVERIFY(PlatTestDialogEnded(dialog));
    }

    void everyButtonSendsItsBytes()
    {
        const Bytes blackBand = Cat({Hex("1B 2A 00 D2 00"), Bytes(210, 0xFF), Hex("0D 1B 4A 10")});
        Bytes zone5 = Hex("1B 40 1C 21 8C");
        for (int lead : {0xA8, 0xA9})
            for (int trail = 0x40; trail <= 0x9F; ++trail)
                zone5.insert(zone5.end(), {uint8_t(lead), uint8_t(trail)});
        zone5.push_back(0x0A);
        auto type = [](int id, std::string text) {
            return [id, text](HWND page) {
                SetDlgItemTextA(page, id, "");
                QVERIFY(PlatTestType(page, id, text));
            };
        };
        auto combo = [](int id, int row) { return [id, row](HWND page) { QVERIFY(PlatTestSelectComboRow(page, id, row)); }; };
        auto baud = [](uint8_t n) { return Cat({Gbk("set successful\n"), Bytes{0x1C, 0xAA, 0x22, n, 0x00}}); };
        const Bytes sample(reinterpret_cast<const uint8_t*>(testSample1), reinterpret_cast<const uint8_t*>(testSample1) + 2607);
        // The printer decodes every byte the pages send, with no unknown command.
        auto zone = [](int row) { return [row](HWND page) { QVERIFY(PlatTestSelectComboRow(page, IDC_GBK_ZONE, row)); }; };
        const std::vector<Press> presses{
            {"gbk zone 1 (the default)", kGbk, NoSetup, IDC_GBK_START, Hex("1B 40 1C 21 00 A1 A1 A1 A3"),
             Hex("A9 FB A9 FD 0A"), 852},
            {"gbk zone 2", kGbk, zone(1), IDC_GBK_START, Hex("1B 40 1C 21 00 B0 A1 B0 A3"), Hex("F4 FB F4 FD 0A"), 1698},
            {"gbk zone 3", kGbk, zone(2), IDC_GBK_START, Hex("1B 40 1C 21 00 81 40 81 44"), Hex("9F F8 9F FC 0A"), 1542},
            {"gbk zone 4", kGbk, zone(3), IDC_GBK_START, Hex("1B 40 1C 21 00 AA 40 AA 44"), Hex("FE 98 FE 9C 0A"), 1398},
            // Zone 5 byte for byte.
            {"gbk zone 5 in every mode", kGbk,
             [](HWND page) {
                 for (int id : {IDC_GBK_DWIDTH, IDC_GBK_DHEIGHT, IDC_GBK_UNDERLINE})
                     QVERIFY(PlatTestClick(page, id));
                 QVERIFY(PlatTestSelectComboRow(page, IDC_GBK_ZONE, 4));
             },
             IDC_GBK_START, zone5},
            {"black mark on", kBmark, NoSetup, IDC_BM_ON, Cat({Hex("1C AA 11 01"), Gbk("  BM enable\n")})},
            {"black mark off", kBmark, NoSetup, IDC_BM_OFF, Cat({Hex("1C AA 11 00"), Gbk("  BM disable\n")})},
            {"distance A 0", kBmark, NoSetup, IDC_BM_SET_A, Cat({Hex("1C AA 13 99 00"), Gbk("黑标到打印头偏移长度设置成功\n")})},
            // Only the first 9 characters count: 123456789 mm.
            {"distance A cut to 9 characters", kBmark, type(IDC_BM_DIST_A, "1234567890"), IDC_BM_SET_A,
             Cat({Hex("1C AA 13 ED 6A"), Gbk("黑标到打印头偏移长度设置成功\n")})},
            // 127 characters are read: 126 blanks and the 5, not the 7.
            {"distance B reads 127 characters", kBmark, type(IDC_BM_DIST_B, std::string(126, ' ') + "57"),
             IDC_BM_SET_B, Cat({Hex("1C AA 14 10 01"), Gbk("切纸位相对黑标偏移长度设置成功\n")})},
            // Saturates at the largest int: 12201611630 units, low 16 bits.
            {"distance C of 40 digits", kBmark, type(IDC_BM_DIST_C, std::string(40, '9')), IDC_BM_SET_C,
             Cat({Hex("1C AA 12 6E D1"), Gbk("两黑标之间的长度设置成功\n")})},
            {"black-mark test", kBmark, NoSetup, IDC_BM_TEST, Hex("1B 40 1D CB 4D 20 74 65 73 74 0A")},
            {"black-mark test and cut", kBmark, [](HWND page) { QVERIFY(PlatTestClick(page, IDC_BM_CUT)); },
             IDC_BM_TEST, Hex("1B 40 1D CB 4D 20 74 65 73 74 0A 1D 56 66 01")},
            {"carriage", kDianliu, NoSetup, IDC_DL_CARRIAGE, Hex("1C AA 16 04")},
            {"paper feed", kDianliu, NoSetup, IDC_DL_FEED, Hex("1C AA 17 02 55")},
            {"pins", kDianliu, NoSetup, IDC_DL_PINS, Hex("1C AA 18 01 00")},
            {"all black", kOther, NoSetup, IDC_OT_BLACK, Cat({blackBand, blackBand, blackBand, blackBand, blackBand})},
            {"sample", kOther, NoSetup, IDC_OT_SAMPLE, sample},
            {"drawer 1", kOther, NoSetup, IDC_OT_DRAWER1, Cat({Hex("1B 40"), Gbk("测试钱箱\n"), Hex("1B 4A 20 1B 70 00 33 00 00")})},
            {"drawer 2", kOther, NoSetup, IDC_OT_DRAWER2, Cat({Hex("1B 40"), Gbk("测试钱箱\n"), Hex("1B 4A 20 1B 70 01 33 00 00")})},
            {"full cut", kOther, NoSetup, IDC_OT_CUT_FULL, Cat({Hex("1B 40"), Gbk("测试切刀\n"), Hex("1B 4A 50 1B 69")})},
            {"partial cut", kOther, NoSetup, IDC_OT_CUT_PART, Cat({Hex("1B 40"), Gbk("测试切刀\n"), Hex("1B 4A 50 1B 6D")})},
            {"cutter on", kOther, NoSetup, IDC_OT_CUTTER_ON, Cat({Hex("1B 40"), Gbk("切刀打开\n"), Hex("1C AA 23 01")})},
            {"cutter off", kOther, NoSetup, IDC_OT_CUTTER_OFF, Cat({Hex("1B 40"), Gbk("切刀关闭\n"), Hex("1C AA 23 00")})},
            // The index sent is the row chosen: the default, both ends, none.
            {"baud 9600 (the default)", kOther, NoSetup, IDC_OT_SET_BAUD, baud(3)},
            {"baud 1200", kOther, combo(IDC_OT_BAUD, 0), IDC_OT_SET_BAUD, baud(0)},
            {"baud 38400", kOther, combo(IDC_OT_BAUD, 5), IDC_OT_SET_BAUD, baud(5)},
            {"baud with nothing selected", kOther,
             [](HWND page) { SendDlgItemMessageA(page, IDC_OT_BAUD, CB_SETCURSEL, WPARAM(-1), 0); }, IDC_OT_SET_BAUD,
             baud(0xFF)},
        };
        for (const Press& press : presses) {
            rig::Bench bench;
            auto& printer = bench.parallelPrinter();
            HWND page = ShowPage(OpenTestDialog(), press.tab);
            QVERIFY2(page != nullptr, press.name);
            press.setup(page);
            QVERIFY2(PlatTestClick(page, press.button), press.name);
            QVERIFY2(rig::WaitPortIdle(5000), press.name);
            const Bytes got = printer.received();
            const std::string shown = std::string(press.name) + ": " + sim::hexBytes(got);
            if (press.length == 0) {
                QVERIFY2(got == press.expected, shown.c_str());
            } else {
                QVERIFY2(got.size() == press.length, shown.c_str());
                QVERIFY2(std::equal(press.expected.begin(), press.expected.end(), got.begin()), shown.c_str());
                QVERIFY2(std::equal(press.last.rbegin(), press.last.rend(), got.rbegin()), shown.c_str());
            }
            QVERIFY2(MessageTexts().empty(), press.name);
            printer.flush();
            const std::string transcript = std::string(press.name) + "\n" + printer.transcriptText();
            QVERIFY2(printer.state().unknownCommands == 0, transcript.c_str());
            PlatTestDestroyAll();
        }
    }

    void sampleReceiptBeginsAndEndsAsStored()
    {
        const Bytes sample(reinterpret_cast<const uint8_t*>(testSample1),
                           reinterpret_cast<const uint8_t*>(testSample1) + kTestSample1Length);
        QCOMPARE(Bytes(sample.begin(), sample.begin() + 6), Hex("0A 1B 40 1B 4A 20"));
        QCOMPARE(Bytes(sample.end() - 7, sample.end()), Hex("0D 1B 4A 20 1B 4A 60"));
        // Section starts, and texts in GBK where the receipt has them.
        auto at = [&](size_t offset, const Bytes& bytes) {
            return Bytes(sample.begin() + long(offset), sample.begin() + long(offset + bytes.size())) == bytes;
        };
        QVERIFY(at(6, Cat({Bytes(9, ' '), Hex("1B 55 01 1B 2A 00 64 00")})));
        QVERIFY(at(490, Cat({Hex("1B 40 1C 21 0F 09"), Gbk(" 测 试 样 例 \n\n\n")})));
        QVERIFY(at(512, Cat({Hex("1B 40 1C 21 04"), Gbk("   欢 迎 使 用 \n")})));
        QVERIFY(at(604, Cat({Hex("1B 40"), Gbk(" P11001      45度新一代沱牌佳酿 \n")})));
        QVERIFY(at(922, Cat({Hex("1B 21 80"), Gbk("地址： xxx市xxx路xxx号 \n")})));
        QVERIFY(at(1050, Cat({Hex("1B 40"), Gbk("零壹贰叁肆伍陆柒捌玖拾\n")})));
        QVERIFY(at(1132, Hex("1B 40 1C 2E 1B 20 02 1B 33 10")));
        QVERIFY(at(1228, Cat({Hex("1B 40 0A 1B 2A 00 D2 00"), Bytes(210, 0xFF)})));
        QVERIFY(at(2326, Cat({Hex("1B 40 1C 2E 1B 20 05 0A"), Gbk(" 1   2   3   4   5   6   7   8 \n")})));
        QVERIFY(at(2366, Cat({Hex("1B 40 1B 2A 00 18 00"), Bytes(24, 0x80), Hex("1B 2A 00 18 00"), Bytes(24, 0x40)})));
        // The logo is a drawing, not a blank.
        const Bytes band1(sample.begin() + 23, sample.begin() + 123);
        QVERIFY(std::count(band1.begin(), band1.end(), 0) < 90);
    }

    void latinTestRepeatsUntilStopped_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QByteArray>("pass");
        const QByteArray az = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        // Each way of stopping with its own pattern and modes: 7x9 is mode
        // bit 0, double height 4, double width 5, underline 7; no two modes
        // always go together.
        QTest::newRow("stop button, A-Z in 7x9") << "stop" << QList<int>{} << "\x1B\x40\x1C\x2E\x1B\x21\x01" + az + "\n";
        QTest::newRow("tab change, I double height underlined")
            << "tab" << QList<int>{IDC_CHAR_I, IDC_CHAR_DHEIGHT, IDC_CHAR_UNDERLINE}
            << "\x1B\x40\x1C\x2E\x1B\x21\x91" + QByteArray(42, 'I') + "\n";
        QTest::newRow("closing the dialog, H in 9x9 double width and height")
            << "close" << QList<int>{IDC_CHAR_H, IDC_CHAR_DWIDTH, IDC_CHAR_DHEIGHT}
            << "\x1B\x40\x1C\x2E\x1B\x21\x30" + QByteArray(42, 'H') + "\n";
    }

    // While the test repeats, a second start and a port choice change nothing.
    void latinTestRepeatsUntilStopped()
    {
        QFETCH(QString, how);
        QFETCH(QList<int>, clicks);
        QFETCH(QByteArray, pass);
        rig::Bench bench;
        bench.serial(); // a serial choice would succeed
        HWND dialog = OpenTestDialog();
        HWND latin = gTabPages[kChar];
        for (int id : clicks)
            QVERIFY(PlatTestClick(latin, id));
        if (how == "close")
            QVERIFY(PlatTestSelectComboRow(latin, IDC_CHAR_FONT, 1));
        QVERIFY(PlatTestClick(latin, IDC_CHAR_START));
        auto& printer = bench.parallelPrinter();
        QVERIFY(PlatTestWaitFor([&] { return printer.received().size() >= 2 * size_t(pass.size()); }, 5000));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));

        QVERIFY(PlatTestClick(latin, IDC_CHAR_START));
        QCOMPARE(MessageTexts(), Texts{"发送数据错误！请重试"});
        PlatTestClearMessageBoxes();
        for (int radio : {IDC_T_SERIAL, IDC_T_USB}) {
            QVERIFY(PlatTestClick(dialog, radio));
            QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
            QVERIFY(PlatTestChecked(dialog, IDC_T_PARALLEL) && !PlatTestChecked(dialog, radio));
        }
        QVERIFY(MessageTexts().empty());

        // Once a pass's report waits for this thread, the repetition can end
        // only while the tab change or the close waits for it.
        if (how != "stop") {
            for (int ms = 0; PlatTestPendingSends() == 0 && ms < 5000; ++ms)
                std::this_thread::sleep_for(1ms); // delivering nothing meanwhile
            QCOMPARE(PlatTestPendingSends(), 1);
        }
        if (how == "stop") {
            QVERIFY(PlatTestClick(latin, IDC_CHAR_STOP));
            QVERIFY(rig::WaitPortIdle(5000));
        } else if (how == "tab") {
            // It has ended by the time the new page shows.
            int stateAtTheChange = -1;
            gOnSelChange = [&] { stateAtTheChange = gCurrentPort.state; };
            QVERIFY(ShowPage(dialog, kDianliu) != nullptr);
            QCOMPARE(stateAtTheChange, int(PORT_STATE_IDLE));
        } else {
            // It has ended before the port is released.
            QVERIFY(PlatTestClick(dialog, IDC_T_CLOSE));
            QVERIFY(PlatTestDialogEnded(dialog));
            QCOMPARE(PlatTestPendingSends(), 0);
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
            QVERIFY(gCurrentPort.handle == nullptr);
        }
        const Bytes got = printer.received();
        const Bytes one(pass.begin(), pass.end());
        QVERIFY(got.size() % one.size() == 0);
        for (size_t at = 0; at < got.size(); at += one.size())
            QCOMPARE(sim::hexBytes(Bytes(got.begin() + long(at), got.begin() + long(at + one.size()))), sim::hexBytes(one));
    }

    // The printer pulled out: the test that finds it gone lets its dead
    // handle go, and the first test after it is back reaches it on the USB
    // port chosen before, without "请先选择一个打印端口".
    void aPrinterPluggedBackInIsReachedByTheNextTest()
    {
        rig::Bench bench;
        const Bytes cutterOn = Cat({Hex("1B 40"), Gbk("切刀打开\n"), Hex("1C AA 23 01")});
        sim::UsbPrinter* printer = &bench.usb(0);
        HWND dialog = OpenTestDialog();
        QVERIFY(PlatTestClick(dialog, IDC_T_USB));
        HWND page = ShowPage(dialog, kOther);
        QVERIFY(PlatTestClick(page, IDC_OT_CUTTER_ON));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer->waitForBytes(cutterOn.size(), 5000ms));

        bench.unplug();
        QVERIFY(PlatTestClick(page, IDC_OT_CUTTER_ON));
        QVERIFY(rig::WaitPortIdle(10000));
        QVERIFY(gCurrentPort.handle == nullptr);
        QCOMPARE(int(gCurrentPort.type), int(PORT_USB));
        QVERIFY(PlatTestClick(page, IDC_OT_CUTTER_ON)); // still away: says why
        QCOMPARE(MessageTexts(), Texts{"请先选择一个打印端口\n" + kNoUsbPrinter});
        PlatTestClearMessageBoxes();

        printer = &bench.usb(0);
        QVERIFY(PlatTestClick(page, IDC_OT_CUTTER_ON));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer->waitForBytes(cutterOn.size(), 5000ms));
        QCOMPARE(printer->received(), cutterOn);
        QVERIFY(PlatTestChecked(dialog, IDC_T_USB));
        QVERIFY(MessageTexts().empty());
    }

    void aTabChangeLeavesASingleTestWhole_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("length");
        QTest::newRow("全黑打印") << int(IDC_OT_BLACK) << 1095;
        QTest::newRow("样例测试") << int(IDC_OT_SAMPLE) << int(kTestSample1Length);
    }

    // Only the repeating Latin test ends at a tab change: a single test
    // still going out is not cut mid-command.
    void aTabChangeLeavesASingleTestWhole()
    {
        QFETCH(int, button);
        QFETCH(int, length);
        rig::Bench bench;
        HWND dialog = OpenTestDialog();
        HWND page = ShowPage(dialog, kOther);
        // The printer is busy a while at the first byte, well short of the
        // writer's limit: the test is under way when the tab changes.
        bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 2);
        QVERIFY(PlatTestClick(page, button));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(ShowPage(dialog, kChar) != nullptr);
        QVERIFY(PlatTestWidget(gTabPages[kChar])->isVisible());
        QVERIFY(rig::WaitPortIdle(30000));
        const Bytes got = bench.parallelPrinter().received();
        QCOMPARE(got.size(), size_t(length));
        if (button == IDC_OT_SAMPLE)
            QVERIFY(std::equal(got.begin(), got.end(), reinterpret_cast<const uint8_t*>(testSample1)));
        QVERIFY(MessageTexts().empty());
    }

    // A failed port choice leaves every test without a port; with the
    // parallel port open, a send refused while another runs shows each
    // page's own message.
    void aTestWithoutAUsablePortIsRefusedWithThePagesMessage()
    {
        struct Refusal {
            int tab;
            int button;
            const char* noPort;
            const char* busy;
        };
        const char* const noPort = "请先选择一个打印端口";
        const char* const refused = "发送数据错误！请重试";
        const Refusal refusals[] = {
            {kChar, IDC_CHAR_START, noPort, refused},
            {kGbk, IDC_GBK_START, noPort, refused},
            {kBmark, IDC_BM_TEST, "Please select a printer port", "Send data error!Please try again"},
            {kBmark, IDC_BM_SET_C, "Please select a printer port", "Send data error!Please try again"},
            {kDianliu, IDC_DL_PINS, noPort, refused},
            {kOther, IDC_OT_SAMPLE, noPort, refused},
            {kOther, IDC_OT_DRAWER1, noPort, refused},
            {kOther, IDC_OT_SET_BAUD, "Please select a interface", "Send data error!Please try again"},
        };
        rig::Bench bench; // no printer on COM1 or USB
        HWND dialog = OpenTestDialog();
        for (int radio : {IDC_T_USB, IDC_T_SERIAL}) {
            PlatTestClearMessageBoxes();
            QVERIFY(PlatTestClick(dialog, radio));
            for (int any : {IDC_T_PARALLEL, IDC_T_USB, IDC_T_SERIAL})
                QVERIFY(!PlatTestChecked(dialog, any));
            QCOMPARE(MessageTexts(), Texts{radio == IDC_T_USB ? "usb不在线或拨出!\n" + kNoUsbPrinter
                                                              : "串口被占用或有错误!\n" + NoCom1Device(bench)});
            const auto box = PlatTestMessageBoxes().front();
            // Over the dialog, not in the middle of the screen.
            QVERIFY(box.caption == "Error" && box.type == UINT(MB_OK | MB_ICONERROR) && box.owner == dialog);
            // The record holds the type chosen and no handle.
            QCOMPARE(int(gCurrentPort.type), radio == IDC_T_USB ? int(PORT_USB) : int(PORT_SERIAL));
            QVERIFY(gCurrentPort.handle == nullptr);
            // The USB page tries to open USB, and wants it chosen.
            PlatTestClearMessageBoxes();
            QVERIFY(PlatTestClick(ShowPage(dialog, kUsb), IDC_USB_WRITE));
            QCOMPARE(MessageTexts(), Texts{radio == IDC_T_USB ? "USB不在线或已被拨出!\n" + kNoUsbPrinter : "请选择USB接口!"});
            QVERIFY(PlatTestMessageBoxes().front().owner == gTabPages[kUsb]);
            QCOMPARE(PlatTestText(gTabPages[kUsb], IDC_USB_WRITTEN), std::string());
        }
        // The pages ask whether the record has a handle, whatever its type.
        for (const Refusal& r : refusals) {
            PlatTestClearMessageBoxes();
            QVERIFY(PlatTestClick(ShowPage(dialog, r.tab), r.button));
            QCOMPARE(MessageTexts(), Texts{r.noPort});
        }

        // The parallel port always opens.
        PlatTestClearMessageBoxes();
        QVERIFY(PlatTestClick(dialog, IDC_T_PARALLEL));
        QVERIFY(PlatTestChecked(dialog, IDC_T_PARALLEL));
        QVERIFY(MessageTexts().empty());
        for (const Refusal& r : refusals) {
            HWND page = ShowPage(dialog, r.tab); // a tab change waits for a running send
            gCurrentPort.state = PORT_STATE_BUSY; // as while another send runs
            QVERIFY(PlatTestClick(page, r.button));
            QCOMPARE(MessageTexts(), Texts{r.busy});
            gCurrentPort.state = PORT_STATE_IDLE;
            PlatTestClearMessageBoxes();
        }
        HWND usb = ShowPage(dialog, kUsb);
        for (int button : {IDC_USB_WRITE, IDC_USB_READ}) {
            QVERIFY(PlatTestClick(usb, button));
            QCOMPARE(MessageTexts(), Texts{"请选择USB接口!"});
            PlatTestClearMessageBoxes();
        }
        gCurrentPort.type = PORT_USB;
        gCurrentPort.state = PORT_STATE_BUSY; // a send runs: nothing happens
        QVERIFY(PlatTestClick(usb, IDC_USB_READ));
        QVERIFY(MessageTexts().empty());
        gCurrentPort.state = PORT_STATE_CLOSED;
        QVERIFY(bench.parallelPrinter().received().empty());
    }

    void usbWriteThenReadBack_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("six bytes") << int(sim::AnswerMode::Correct);
        QTest::newRow("five bytes") << int(sim::AnswerMode::Short);
        QTest::newRow("nothing") << int(sim::AnswerMode::Silent);
    }

    // A read-back that fails closes the device, and the next press opens it
    // again; a write that fails still shows the string.
    void usbWriteThenReadBack()
    {
        QFETCH(int, mode);
        const bool answers = mode == int(sim::AnswerMode::Correct);
        rig::Bench bench;
        PlatSetTimeScale(0.1); // the 5 s bound on the answer becomes 0.5 s
        sim::PrinterOptions options;
        options.readStringAnswer.mode = sim::AnswerMode(mode);
        auto& printer = bench.usb(0, options);
        HWND dialog = OpenTestDialog();
        QVERIFY(PlatTestClick(dialog, IDC_T_USB));
        HWND usb = ShowPage(dialog, kUsb);
        QVERIFY(PlatTestClick(usb, IDC_USB_WRITE));
        QCOMPARE(PlatTestText(usb, IDC_USB_WRITTEN), std::string("zxtkpj"));
        QVERIFY(printer.waitForBytes(10, 5000ms));
        SetDlgItemTextA(usb, IDC_USB_READBACK, "before");
        const auto started = std::chrono::steady_clock::now();
        QVERIFY(PlatTestClick(usb, IDC_USB_READ));
        QVERIFY(std::chrono::steady_clock::now() - started < 3s); // bounded, never hanging
        QCOMPARE(PlatTestText(usb, IDC_USB_READBACK), std::string(answers ? "zxtkpj" : "before"));
        QCOMPARE(MessageTexts(), answers ? Texts{} : Texts{"读取字符串失败!"});
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QCOMPARE(gCurrentPort.handle == nullptr, !answers);
        if (!answers)
            QVERIFY(printer.waitForConnected(false, 5000ms));

        PlatTestClearMessageBoxes();
        QVERIFY(PlatTestClick(usb, IDC_USB_WRITE));
        QVERIFY(printer.waitForBytes(24, 5000ms));
        QCOMPARE(sim::hexBytes(printer.received()),
                 sim::hexBytes(Hex("1B 1D 00 01 7A 78 74 6B 70 6A 1B 1D 00 02 1B 1D 00 01 7A 78 74 6B 70 6A")));
        QVERIFY(MessageTexts().empty());
        if (!answers)
            return;
        // The write shows the string even when it fails: the printer takes
        // nothing more, the line's buffer is full.
        printer.holdLine(true);
        const std::vector<char> filler(1 << 20, 'x');
        DWORD written = 0;
        WriteFile(gCurrentPort.handle, filler.data(), DWORD(filler.size()), &written, nullptr);
        QVERIFY(written < filler.size());
        SetDlgItemTextA(usb, IDC_USB_WRITTEN, "");
        QVERIFY(PlatTestClick(usb, IDC_USB_WRITE));
        QCOMPARE(PlatTestText(usb, IDC_USB_WRITTEN), std::string("zxtkpj"));
        QVERIFY(MessageTexts().empty());
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        printer.holdLine(false);
    }

    void distancesReadAsAtoiWithoutOverflow()
    {
        struct Row {
            const char* text;
            int value;
        };
        for (const Row& r : {Row{"0", 0}, Row{"-30", -30}, Row{"  +12abc", 12}, Row{"abc", 0}, Row{"", 0},
                             Row{"2147483647", 2147483647}, Row{"2147483648", 2147483647},
                             Row{"-2147483648", -2147483647 - 1}, Row{"-99999999999999999999", -2147483647 - 1},
                             Row{"\t\n 7", 7}, Row{"- 5", 0}})
            QVERIFY2(ReadDecimal(r.text) == r.value, r.text);
        QCOMPARE(DistanceUnits(0, 27), WORD(153));
        QCOMPARE(DistanceUnits(-30, 27), WORD(0xFFEF));
        QCOMPARE(DistanceUnits(-2147483647 - 1, 27), WORD(0x2F26));
    }
};

PLAT_TEST_MAIN_WITH(TestTestDialog, ResRegister)
#include "tst_test_dialog.moc"
