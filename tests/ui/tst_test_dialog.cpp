// The test dialog driven as a technician drives it, against the virtual
// printer: the tab host and the port choice, then every button of the six
// pages with the exact bytes the printer receives.
#include "app/app.h"
#include "port/port.h"
#include "res/resource.h"
#include "res/tests_res.h"
#include "send/send.h"
#include "ui/support/printer_rig.h"
#include "ui/tests/tests.h"

#include <QTabBar>

#include <chrono>
#include <functional>
#include <map>
#include <string>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

enum Tab { kChar, kGbk, kBmark, kDianliu, kOther, kUsb };

HWND OpenTestDialog()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TEST), nullptr, bTestDlgProc);
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

Bytes Repeat(uint8_t b, size_t n)
{
    return Bytes(n, b);
}

using rig::MessageTexts;

std::string Show(const Bytes& bytes)
{
    return sim::hexBytes(bytes);
}

// One button press and what the printer must receive for it.
struct Press {
    const char* name;
    int tab;
    std::function<void(HWND page)> setup;
    int button;
    Bytes expected;
};

void NoSetup(HWND) {}

int VisiblePages()
{
    int visible = 0;
    for (HWND page : gTabPages)
        if (page != nullptr && PlatTestWidget(page)->isVisible())
            ++visible;
    return visible;
}

} // namespace

class TestTestDialog : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        PlatTestRecordMessageBoxes();
        PlatTestClearMessageBoxes();
    }
    void cleanup() { PlatTestDestroyAll(); }

    void opensOnTheLatinPageWithTheParallelPort()
    {
        rig::Bench bench;
        gCurrentPort.type = PORT_SERIAL;
        gCurrentPort.state = PORT_STATE_IDLE;
        HWND dialog = OpenTestDialog();
        QVERIFY(dialog != nullptr);
        QVERIFY(PlatTestChecked(dialog, IDC_T_PARALLEL));
        QVERIFY(!PlatTestChecked(dialog, IDC_T_USB));
        QVERIFY(!PlatTestChecked(dialog, IDC_T_SERIAL));
        QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        QVERIFY(gTabPages[0] != nullptr);
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
        QCOMPARE(host->pageRect.left, display.left);
        QCOMPARE(host->pageRect.top, display.top);
        QCOMPARE(PlatTestWidget(gTabPages[0])->pos(), QPoint(display.left, display.top));

        // A test started at once goes to the parallel port.
        QVERIFY(PlatTestClick(gTabPages[kChar], IDC_CHAR_START));
        QVERIFY(bench.parallelPrinter().waitForBytes(34, 5000ms));
        QVERIFY(PlatTestClick(gTabPages[kChar], IDC_CHAR_STOP));
        QVERIFY(rig::WaitPortIdle(5000));
    }

    void theMainMenuOpensIt()
    {
        rig::Bench bench;
        HWND main = PlatTestOpenDialog(IDD_MAIN_DIALOG_NAME, nullptr, bMainDlgProc);
        QVERIFY(main != nullptr);
        HWND opened = nullptr, owner = nullptr;
        bool latinShown = false;
        PlatTestSetDialogHook([&](HWND dialog) {
            if (PlatTestFindControl(dialog, IDC_T_TAB) == nullptr || GetDlgItem(dialog, IDC_T_TAB) == nullptr)
                return;
            opened = dialog;
            owner = GetParent(dialog);
            latinShown = gTabPages[kChar] != nullptr && PlatTestWidget(gTabPages[kChar])->isVisible();
            QTimer::singleShot(0, [dialog] { PlatTestClick(dialog, IDC_T_CLOSE); });
        });
        QVERIFY(PlatTestMenuCommand(main, IDM_TEST)); // runs modally until the close
        PlatTestSetDialogHook({});
        QVERIFY(opened != nullptr);
        QVERIFY(latinShown);
        QVERIFY(PlatTestDialogEnded(opened));
        QCOMPARE(owner, main);
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
        QVERIFY(dialog != nullptr);
        QCOMPARE(MessageTexts(), std::vector<std::string>{"tab control is null"});
        QCOMPARE(PlatTestMessageBoxes().front().caption, std::string("Error"));
        QVERIFY(gTabPages[kChar] != nullptr); // construction went on
        QVERIFY(PlatTestClick(dialog, IDC_T_CLOSE));
        QVERIFY(PlatTestDialogEnded(dialog));
    }

    void pagesAreMadeOnceAndKeepTheirSettings()
    {
        rig::Bench bench;
        HWND dialog = OpenTestDialog();
        HWND latin = gTabPages[kChar];
        QVERIFY(PlatTestClick(latin, IDC_CHAR_DWIDTH));
        QVERIFY(PlatTestSelectComboRow(latin, IDC_CHAR_FONT, 1));
        HWND bmark = ShowPage(dialog, kBmark);
        QVERIFY(bmark != nullptr);
        QCOMPARE(VisiblePages(), 1);
        QVERIFY(PlatTestWidget(bmark)->isVisible());
        QCOMPARE(PlatTestText(bmark, IDC_BM_DIST_A), std::string("0"));
        QVERIFY(PlatTestType(bmark, IDC_BM_DIST_A, "5"));
        QCOMPARE(ShowPage(dialog, kChar), latin);
        QCOMPARE(VisiblePages(), 1);
        QVERIFY(PlatTestChecked(latin, IDC_CHAR_DWIDTH));
        QCOMPARE(int(SendDlgItemMessageA(latin, IDC_CHAR_FONT, CB_GETCURSEL, 0, 0)), 1);
        QCOMPARE(ShowPage(dialog, kBmark), bmark);
        QCOMPARE(PlatTestText(bmark, IDC_BM_DIST_A), std::string("05"));
        for (int tab = 0; tab < kTestPageCount; ++tab) {
            QVERIFY(ShowPage(dialog, tab) != nullptr);
            QCOMPARE(VisiblePages(), 1);
        }
        // Closing destroys the pages and releases the port.
        QVERIFY(PlatTestClick(dialog, IDC_T_CLOSE));
        QVERIFY(PlatTestDialogEnded(dialog));
        for (HWND page : gTabPages)
            QVERIFY(page == nullptr);
        QCOMPARE(GetWindowLongPtrA(dialog, GWLP_USERDATA), LONG_PTR(0));
    }

    void comboBoxesKeepTheirInsertionOrder()
    {
        rig::Bench bench;
        HWND dialog = OpenTestDialog();
        QCOMPARE(PlatTestComboRows(gTabPages[kChar], IDC_CHAR_FONT), (std::vector<std::string>{"7x9", "9x9"}));
        QCOMPARE(PlatTestComboRows(ShowPage(dialog, kGbk), IDC_GBK_ZONE),
                 (std::vector<std::string>{"1区", "2区", "3区", "4区", "5区"}));
        HWND other = ShowPage(dialog, kOther);
        QCOMPARE(PlatTestComboRows(other, IDC_OT_BAUD),
                 (std::vector<std::string>{"1200", "2400", "4800", "9600", "19200", "38400"}));
        QCOMPARE(int(SendDlgItemMessageA(other, IDC_OT_BAUD, CB_GETCURSEL, 0, 0)), 3);
        HWND usb = ShowPage(dialog, kUsb);
        QCOMPARE(PlatTestText(usb, IDC_USB_WRITTEN), std::string());
        QCOMPARE(PlatTestText(usb, IDC_USB_READBACK), std::string());
    }

    void everyButtonSendsItsBytes()
    {
        const Bytes blackBand = Cat({Hex("1B 2A 00 D2 00"), Repeat(0xFF, 210), Hex("0D 1B 4A 10")});
        Bytes zone5 = Hex("1B 40 1C 21 00");
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
        auto clicks = [](std::initializer_list<int> ids) {
            std::vector<int> list(ids);
            return [list](HWND page) {
                for (int id : list)
                    QVERIFY(PlatTestClick(page, id));
            };
        };
        auto baud = [](uint8_t n) { return Cat({Bytes{'s', 'e', 't', ' ', 's', 'u', 'c', 'c', 'e', 's', 's', 'f', 'u', 'l', '\n'},
                                              Bytes{0x1C, 0xAA, 0x22, n, 0x00}}); };
        const std::vector<Press> presses{
            {"gbk zone 5", kGbk, combo(IDC_GBK_ZONE, 4), IDC_GBK_START, zone5},
            {"gbk zone 5 in every mode", kGbk,
             [&](HWND page) { clicks({IDC_GBK_DWIDTH, IDC_GBK_DHEIGHT, IDC_GBK_UNDERLINE})(page); combo(IDC_GBK_ZONE, 4)(page); },
             IDC_GBK_START, Cat({Hex("1B 40 1C 21 8C"), Bytes(zone5.begin() + 5, zone5.end())})},
            {"black mark on", kBmark, NoSetup, IDC_BM_ON, Cat({Hex("1C AA 11 01"), Gbk("  BM enable\n")})},
            {"black mark off", kBmark, NoSetup, IDC_BM_OFF, Cat({Hex("1C AA 11 00"), Gbk("  BM disable\n")})},
            {"distance A 0", kBmark, NoSetup, IDC_BM_SET_A,
             Cat({Hex("1C AA 13 99 00"), Gbk("黑标到打印头偏移长度设置成功\n")})},
            {"distance A -30", kBmark, type(IDC_BM_DIST_A, "-30"), IDC_BM_SET_A,
             Cat({Hex("1C AA 13 EF FF"), Gbk("黑标到打印头偏移长度设置成功\n")})},
            // Only the first 9 characters count: 123456789 mm.
            {"distance A cut to 9 characters", kBmark, type(IDC_BM_DIST_A, "1234567890"), IDC_BM_SET_A,
             Cat({Hex("1C AA 13 ED 6A"), Gbk("黑标到打印头偏移长度设置成功\n")})},
            {"distance B 0", kBmark, NoSetup, IDC_BM_SET_B,
             Cat({Hex("1C AA 14 F4 00"), Gbk("切纸位相对黑标偏移长度设置成功\n")})},
            // 127 characters are read: 126 blanks and the 5, not the 7.
            {"distance B reads 127 characters", kBmark, type(IDC_BM_DIST_B, std::string(126, ' ') + "57"),
             IDC_BM_SET_B, Cat({Hex("1C AA 14 10 01"), Gbk("切纸位相对黑标偏移长度设置成功\n")})},
            {"distance C 100", kBmark, type(IDC_BM_DIST_C, "100"), IDC_BM_SET_C,
             Cat({Hex("1C AA 12 38 02"), Gbk("两黑标之间的长度设置成功\n")})},
            {"distance C 12abc", kBmark, type(IDC_BM_DIST_C, "12abc"), IDC_BM_SET_C,
             Cat({Hex("1C AA 12 44 00"), Gbk("两黑标之间的长度设置成功\n")})},
            // Saturates at the largest int: 12201611630 units, low 16 bits.
            {"distance C of 40 digits", kBmark, type(IDC_BM_DIST_C, "9999999999999999999999999999999999999999"),
             IDC_BM_SET_C, Cat({Hex("1C AA 12 6E D1"), Gbk("两黑标之间的长度设置成功\n")})},
            {"black-mark test", kBmark, NoSetup, IDC_BM_TEST, Hex("1B 40 1D CB 4D 20 74 65 73 74 0A")},
            {"black-mark test and cut", kBmark, clicks({IDC_BM_CUT}), IDC_BM_TEST,
             Hex("1B 40 1D CB 4D 20 74 65 73 74 0A 1D 56 66 01")},
            {"carriage", kDianliu, NoSetup, IDC_DL_CARRIAGE, Hex("1C AA 16 04")},
            {"paper feed", kDianliu, NoSetup, IDC_DL_FEED, Hex("1C AA 17 02 55")},
            {"pins", kDianliu, NoSetup, IDC_DL_PINS, Hex("1C AA 18 01 00")},
            {"all black", kOther, NoSetup, IDC_OT_BLACK, Cat({blackBand, blackBand, blackBand, blackBand, blackBand})},
            {"sample", kOther, NoSetup, IDC_OT_SAMPLE,
             Bytes(reinterpret_cast<const uint8_t*>(testSample1), reinterpret_cast<const uint8_t*>(testSample1) + 2607)},
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
        // What the printer made of some of them: it decodes every byte the
        // pages send, with no unknown command.
        const std::map<std::string, std::string> logged{
            {"gbk zone 5 in every mode", "FS ! Chinese print mode: double width, double height, underline"},
            {"black mark on", "1C AA 11 01  black mark on"},
            {"distance A 0", "black mark mark to print head 153 units"},
            {"black-mark test", "1D CB  black-mark feed (form 1D CB)"},
            {"black-mark test and cut", "GS V full cut after feeding 1 dots (form 66)"},
            {"carriage", "drive carriage (04)"},
            {"pins", "drive pins (01 00)"},
            {"sample", "ESC * bit image: 8-dot single density, 100 columns"},
            {"drawer 2", "ESC p drawer kick: connector 1, on 51, off 0"},
            {"full cut", "ESC i full cut"},
            {"partial cut", "ESC m partial cut"},
            {"cutter off", "1C AA 23 00  cutter off"},
            {"baud 38400", "serial baud index 5 (38400 baud)"},
        };
        for (const Press& press : presses) {
            rig::Bench bench;
            HWND dialog = OpenTestDialog();
            HWND page = ShowPage(dialog, press.tab);
            QVERIFY2(page != nullptr, press.name);
            press.setup(page);
            QVERIFY2(PlatTestClick(page, press.button), press.name);
            QVERIFY2(rig::WaitPortIdle(5000), press.name);
            const Bytes got = bench.parallelPrinter().received();
            QVERIFY2(got == press.expected, (std::string(press.name) + ": " + Show(got)).c_str());
            QVERIFY2(MessageTexts().empty(), press.name);
            auto& printer = bench.parallelPrinter();
            printer.flush();
            QVERIFY2(printer.state().unknownCommands == 0, (std::string(press.name) + "\n" + printer.transcriptText()).c_str());
            if (auto it = logged.find(press.name); it != logged.end())
                QVERIFY2(printer.countLines(it->second) > 0, (std::string(press.name) + "\n" + printer.transcriptText()).c_str());
            PlatTestDestroyAll();
        }
    }

    void chineseZonesHaveTheirLengthsAndEnds_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("1区") << 0 << 852 << QByteArray("\xA1\xA1\xA1\xA3") << QByteArray("\xA9\xFB\xA9\xFD\x0A");
        QTest::newRow("2区") << 1 << 1698 << QByteArray("\xB0\xA1\xB0\xA3") << QByteArray("\xF4\xFB\xF4\xFD\x0A");
        QTest::newRow("3区") << 2 << 1542 << QByteArray("\x81\x40\x81\x44") << QByteArray("\x9F\xF8\x9F\xFC\x0A");
        QTest::newRow("4区") << 3 << 1398 << QByteArray("\xAA\x40\xAA\x44") << QByteArray("\xFE\x98\xFE\x9C\x0A");
    }

    void chineseZonesHaveTheirLengthsAndEnds()
    {
        QFETCH(int, row);
        QFETCH(int, length);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, last);
        rig::Bench bench;
        HWND page = ShowPage(OpenTestDialog(), kGbk);
        if (row != 0)
            QVERIFY(PlatTestSelectComboRow(page, IDC_GBK_ZONE, row));
        QVERIFY(PlatTestClick(page, IDC_GBK_START));
        QVERIFY(rig::WaitPortIdle(5000));
        const Bytes got = bench.parallelPrinter().received();
        const QByteArray bytes(reinterpret_cast<const char*>(got.data()), qsizetype(got.size()));
        QCOMPARE(int(bytes.size()), length);
        QCOMPARE(bytes.left(5), QByteArray("\x1B\x40\x1C\x21\x00", 5));
        QCOMPARE(bytes.mid(5, 4), first);
        QVERIFY(bytes.endsWith(last));
        // Characters only: every pair is a lead byte and a trail byte.
        for (qsizetype i = 5; i + 1 < bytes.size(); i += 2)
            QVERIFY(uint8_t(bytes[i]) >= 0x81 && uint8_t(bytes[i + 1]) >= 0x40);
    }

    void sampleReceiptBeginsAndEndsAsStored()
    {
        const Bytes sample(reinterpret_cast<const uint8_t*>(testSample1),
                           reinterpret_cast<const uint8_t*>(testSample1) + kTestSample1Length);
        QCOMPARE(sample.size(), size_t(2607));
        QCOMPARE(Bytes(sample.begin(), sample.begin() + 6), Hex("0A 1B 40 1B 4A 20"));
        QCOMPARE(Bytes(sample.end() - 7, sample.end()), Hex("0D 1B 4A 20 1B 4A 60"));
        QCOMPARE(testSample1[2607], '\0');
        // Section starts, and texts in GBK where the receipt has them.
        auto at = [&](size_t offset, const Bytes& bytes) {
            return Bytes(sample.begin() + long(offset), sample.begin() + long(offset + bytes.size())) == bytes;
        };
        QVERIFY(at(6, Cat({Repeat(' ', 9), Hex("1B 55 01 1B 2A 00 64 00")})));
        QVERIFY(at(490, Cat({Hex("1B 40 1C 21 0F 09"), Gbk(" 测 试 样 例 \n\n\n")})));
        QVERIFY(at(512, Cat({Hex("1B 40 1C 21 04"), Gbk("   欢 迎 使 用 \n")})));
        QVERIFY(at(604, Cat({Hex("1B 40"), Gbk(" P11001      45度新一代沱牌佳酿 \n")})));
        QVERIFY(at(922, Cat({Hex("1B 21 80"), Gbk("地址： xxx市xxx路xxx号 \n")})));
        QVERIFY(at(1050, Cat({Hex("1B 40"), Gbk("零壹贰叁肆伍陆柒捌玖拾\n")})));
        QVERIFY(at(1132, Hex("1B 40 1C 2E 1B 20 02 1B 33 10")));
        QVERIFY(at(1228, Cat({Hex("1B 40 0A 1B 2A 00 D2 00"), Repeat(0xFF, 210)})));
        QVERIFY(at(2326, Cat({Hex("1B 40 1C 2E 1B 20 05 0A"), Gbk(" 1   2   3   4   5   6   7   8 \n")})));
        QVERIFY(at(2366, Cat({Hex("1B 40 1B 2A 00 18 00"), Repeat(0x80, 24), Hex("1B 2A 00 18 00"), Repeat(0x40, 24)})));
        // The logo is a drawing, not a blank.
        const Bytes band1(sample.begin() + 23, sample.begin() + 123);
        QVERIFY(std::count(band1.begin(), band1.end(), 0) < 90);
    }

    void latinTestRepeatsUntilStopped_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("stop button") << "stop";
        QTest::newRow("tab change") << "tab";
        QTest::newRow("closing the dialog") << "close";
    }

    void latinTestRepeatsUntilStopped()
    {
        QFETCH(QString, how);
        rig::Bench bench;
        HWND dialog = OpenTestDialog();
        HWND latin = gTabPages[kChar];
        QVERIFY(PlatTestClick(latin, IDC_CHAR_H));
        QVERIFY(PlatTestSelectComboRow(latin, IDC_CHAR_FONT, 1));
        QVERIFY(PlatTestClick(latin, IDC_CHAR_DWIDTH));
        QVERIFY(PlatTestClick(latin, IDC_CHAR_UNDERLINE));
        QVERIFY(PlatTestClick(latin, IDC_CHAR_START));
        const Bytes pass = Cat({Hex("1B 40 1C 2E 1B 21 A0"), Repeat('H', 42), Hex("0A")});
        auto& printer = bench.parallelPrinter();
        QVERIFY(PlatTestWaitFor([&] { return printer.received().size() >= 2 * pass.size(); }, 5000));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));

        // A second start is refused while the first repeats.
        QVERIFY(PlatTestClick(latin, IDC_CHAR_START));
        QCOMPARE(MessageTexts(), std::vector<std::string>{"发送数据错误！请重试"});

        if (how == "stop") {
            QVERIFY(PlatTestClick(latin, IDC_CHAR_STOP));
            QVERIFY(rig::WaitPortIdle(5000));
        } else if (how == "tab") {
            // The repetition has ended by the time the new page shows.
            QVERIFY(ShowPage(dialog, kDianliu) != nullptr);
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        } else {
            QVERIFY(PlatTestClick(dialog, IDC_T_CLOSE));
            QVERIFY(PlatTestDialogEnded(dialog));
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
            QVERIFY(gCurrentPort.handle == nullptr);
        }
        const Bytes got = printer.received();
        QVERIFY(got.size() % pass.size() == 0);
        for (size_t at = 0; at < got.size(); at += pass.size())
            QVERIFY(Bytes(got.begin() + long(at), got.begin() + long(at + pass.size())) == pass);
    }

    void latinPatternsAndFonts()
    {
        struct Row {
            std::vector<int> clicks;
            Bytes expected;
        };
        const Bytes az = Hex("41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52 53 54 55 56 57 58 59 5A");
        const std::vector<Row> rows{
            {{}, Cat({Hex("1B 40 1C 2E 1B 21 01"), az, Hex("0A")})},
            {{IDC_CHAR_I, IDC_CHAR_DHEIGHT}, Cat({Hex("1B 40 1C 2E 1B 21 11"), Repeat('I', 42), Hex("0A")})},
            {{IDC_CHAR_DWIDTH, IDC_CHAR_DHEIGHT, IDC_CHAR_UNDERLINE},
             Cat({Hex("1B 40 1C 2E 1B 21 B1"), az, Hex("0A")})},
        };
        for (const Row& row : rows) {
            rig::Bench bench;
            OpenTestDialog();
            HWND latin = gTabPages[kChar];
            for (int id : row.clicks)
                QVERIFY(PlatTestClick(latin, id));
            QVERIFY(PlatTestClick(latin, IDC_CHAR_START));
            QVERIFY(bench.parallelPrinter().waitForBytes(row.expected.size(), 5000ms));
            QVERIFY(PlatTestClick(latin, IDC_CHAR_STOP));
            QVERIFY(rig::WaitPortIdle(5000));
            const Bytes got = bench.parallelPrinter().received();
            QCOMPARE(Show(Bytes(got.begin(), got.begin() + long(row.expected.size()))), Show(row.expected));
            PlatTestDestroyAll();
        }
    }

    void aPortChoiceWhileSendingChangesNothing()
    {
        rig::Bench bench;
        bench.serial();
        HWND dialog = OpenTestDialog();
        QVERIFY(PlatTestClick(gTabPages[kChar], IDC_CHAR_START));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        for (int radio : {IDC_T_SERIAL, IDC_T_USB}) {
            QVERIFY(PlatTestClick(dialog, radio));
            QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
            QVERIFY(PlatTestChecked(dialog, IDC_T_PARALLEL));
            QVERIFY(!PlatTestChecked(dialog, radio));
        }
        QVERIFY(MessageTexts().empty());
        QVERIFY(PlatTestClick(gTabPages[kChar], IDC_CHAR_STOP));
        QVERIFY(rig::WaitPortIdle(5000));
    }

    void aFailedPortChoiceLeavesEveryTestWithoutAPort()
    {
        struct Row {
            int radio;
            const char* failure;
        };
        for (const Row& row : {Row{IDC_T_USB, "usb不在线或拨出!"}, Row{IDC_T_SERIAL, "串口被占用或有错误!"}}) {
            rig::Bench bench; // no printer on COM1 or USB
            PlatTestClearMessageBoxes();
            HWND dialog = OpenTestDialog();
            QVERIFY(PlatTestClick(dialog, row.radio));
            QVERIFY(!PlatTestChecked(dialog, IDC_T_PARALLEL));
            QVERIFY(!PlatTestChecked(dialog, IDC_T_USB));
            QVERIFY(!PlatTestChecked(dialog, IDC_T_SERIAL));
            QCOMPARE(MessageTexts(), std::vector<std::string>{row.failure});
            // The record holds the type chosen and no handle.
            QCOMPARE(int(gCurrentPort.type), row.radio == IDC_T_USB ? int(PORT_USB) : int(PORT_SERIAL));
            QVERIFY(gCurrentPort.handle == nullptr || gCurrentPort.handle == INVALID_HANDLE_VALUE);
            for (const auto& box : PlatTestMessageBoxes()) {
                QCOMPARE(box.caption, std::string("Error"));
                QCOMPARE(box.type, UINT(MB_OK | MB_ICONERROR));
                QVERIFY(box.owner == nullptr);
            }

            struct Refusal {
                int tab;
                int button;
                const char* message;
            };
            const std::vector<Refusal> refusals{
                {kChar, IDC_CHAR_START, "请先选择一个打印端口"},  {kGbk, IDC_GBK_START, "请先选择一个打印端口"},
                {kBmark, IDC_BM_TEST, "Please select a printer port"}, {kBmark, IDC_BM_SET_C, "Please select a printer port"},
                {kDianliu, IDC_DL_PINS, "请先选择一个打印端口"},  {kOther, IDC_OT_SAMPLE, "请先选择一个打印端口"},
                {kOther, IDC_OT_SET_BAUD, "Please select a interface"},
            };
            for (const Refusal& r : refusals) {
                PlatTestClearMessageBoxes();
                QVERIFY(PlatTestClick(ShowPage(dialog, r.tab), r.button));
                QCOMPARE(MessageTexts(), std::vector<std::string>{r.message});
            }
            QVERIFY(bench.parallelPrinter().received().empty());
            // The parallel port always opens.
            PlatTestClearMessageBoxes();
            QVERIFY(PlatTestClick(dialog, IDC_T_PARALLEL));
            QVERIFY(PlatTestChecked(dialog, IDC_T_PARALLEL));
            QVERIFY(MessageTexts().empty());
            PlatTestDestroyAll();
        }
    }

    void aSendRefusedWhileAnotherRunsShowsThePagesMessage()
    {
        rig::Bench bench;
        HWND dialog = OpenTestDialog();
        gCurrentPort.state = PORT_STATE_BUSY; // as while another send runs
        struct Row {
            int tab;
            int button;
            const char* message;
        };
        for (const Row& r : {Row{kGbk, IDC_GBK_START, "发送数据错误！请重试"},
                             Row{kBmark, IDC_BM_ON, "Send data error!Please try again"},
                             Row{kDianliu, IDC_DL_FEED, "发送数据错误！请重试"},
                             Row{kOther, IDC_OT_DRAWER1, "发送数据错误！请重试"},
                             Row{kOther, IDC_OT_SET_BAUD, "Send data error!Please try again"}}) {
            HWND page = gTabPages[size_t(r.tab)];
            if (page == nullptr) {
                gCurrentPort.state = PORT_STATE_IDLE; // the tab change waits for a running send
                page = ShowPage(dialog, r.tab);
                gCurrentPort.state = PORT_STATE_BUSY;
            }
            PlatTestClearMessageBoxes();
            QVERIFY(PlatTestClick(page, r.button));
            QCOMPARE(MessageTexts(), std::vector<std::string>{r.message});
        }
        gCurrentPort.state = PORT_STATE_CLOSED;
        QVERIFY(bench.parallelPrinter().received().empty());
    }

    void usbPageWritesAndReadsTheString()
    {
        rig::Bench bench;
        auto& printer = bench.usb(0);
        HWND dialog = OpenTestDialog();
        QVERIFY(PlatTestClick(dialog, IDC_T_USB));
        QVERIFY(PlatTestChecked(dialog, IDC_T_USB));
        HWND usb = ShowPage(dialog, kUsb);
        QVERIFY(PlatTestClick(usb, IDC_USB_WRITE));
        QCOMPARE(PlatTestText(usb, IDC_USB_WRITTEN), std::string("zxtkpj"));
        QVERIFY(printer.waitForBytes(10, 5000ms));
        QCOMPARE(Show(printer.received()), Show(Hex("1B 1D 00 01 7A 78 74 6B 70 6A")));
        QVERIFY(PlatTestClick(usb, IDC_USB_READ));
        QCOMPARE(PlatTestText(usb, IDC_USB_READBACK), std::string("zxtkpj"));
        QCOMPARE(Show(printer.received()), Show(Hex("1B 1D 00 01 7A 78 74 6B 70 6A 1B 1D 00 02")));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(MessageTexts().empty());
    }

    void usbWriteShowsTheStringEvenWhenTheWriteFails()
    {
        rig::Bench bench;
        PlatSetTimeScale(0.02); // the 3 s write stall becomes 60 ms
        auto& printer = bench.usb(0);
        HWND dialog = OpenTestDialog();
        QVERIFY(PlatTestClick(dialog, IDC_T_USB));
        HWND usb = ShowPage(dialog, kUsb);
        // A printer that takes nothing more: the line's buffer is full.
        printer.holdLine(true);
        const std::vector<char> filler(1 << 20, 'x');
        DWORD written = 0;
        WriteFile(gCurrentPort.handle, filler.data(), DWORD(filler.size()), &written, nullptr);
        QVERIFY(written < filler.size());
        QVERIFY(PlatTestClick(usb, IDC_USB_WRITE));
        QCOMPARE(PlatTestText(usb, IDC_USB_WRITTEN), std::string("zxtkpj"));
        QVERIFY(MessageTexts().empty());
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        printer.holdLine(false);
    }

    void usbReadThatFailsClosesTheDeviceAndTheNextPressReopensIt_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("five bytes") << int(sim::AnswerMode::Short);
        QTest::newRow("nothing") << int(sim::AnswerMode::Silent);
    }

    void usbReadThatFailsClosesTheDeviceAndTheNextPressReopensIt()
    {
        QFETCH(int, mode);
        rig::Bench bench;
        PlatSetTimeScale(0.1); // the 5 s bound on the answer becomes 0.5 s
        sim::PrinterOptions options;
        options.readStringAnswer.mode = sim::AnswerMode(mode);
        auto& printer = bench.usb(0, options);
        HWND dialog = OpenTestDialog();
        QVERIFY(PlatTestClick(dialog, IDC_T_USB));
        HWND usb = ShowPage(dialog, kUsb);
        SetDlgItemTextA(usb, IDC_USB_READBACK, "before");
        const auto started = std::chrono::steady_clock::now();
        QVERIFY(PlatTestClick(usb, IDC_USB_READ));
        QVERIFY(std::chrono::steady_clock::now() - started < 3s);
        QCOMPARE(MessageTexts(), std::vector<std::string>{"读取字符串失败!"});
        QCOMPARE(PlatTestText(usb, IDC_USB_READBACK), std::string("before"));
        QVERIFY(gCurrentPort.handle == nullptr);
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(printer.waitForConnected(false, 5000ms));

        // The next press opens the device again before it writes.
        PlatTestClearMessageBoxes();
        QVERIFY(PlatTestClick(usb, IDC_USB_WRITE));
        QVERIFY(printer.waitForBytes(14, 5000ms));
        QVERIFY(gCurrentPort.handle != nullptr);
        QCOMPARE(Show(printer.received()), Show(Hex("1B 1D 00 02 1B 1D 00 01 7A 78 74 6B 70 6A")));
        QVERIFY(MessageTexts().empty());
    }

    void usbPageWantsTheUsbPort()
    {
        rig::Bench bench;
        HWND dialog = OpenTestDialog();
        HWND usb = ShowPage(dialog, kUsb);
        for (int button : {IDC_USB_WRITE, IDC_USB_READ}) {
            PlatTestClearMessageBoxes();
            QVERIFY(PlatTestClick(usb, button));
            QCOMPARE(MessageTexts(), std::vector<std::string>{"请选择USB接口!"});
        }
        QCOMPARE(PlatTestText(usb, IDC_USB_WRITTEN), std::string());
        // USB chosen while no printer is there: the device cannot be opened.
        gCurrentPort.type = PORT_USB;
        PlatTestClearMessageBoxes();
        QVERIFY(PlatTestClick(usb, IDC_USB_WRITE));
        QCOMPARE(MessageTexts(), std::vector<std::string>{"USB不在线或已被拨出!"});
        gCurrentPort.state = PORT_STATE_BUSY; // a send runs: nothing happens
        PlatTestClearMessageBoxes();
        QVERIFY(PlatTestClick(usb, IDC_USB_READ));
        QVERIFY(MessageTexts().empty());
        gCurrentPort.state = PORT_STATE_CLOSED;
        QVERIFY(bench.parallelPrinter().received().empty());
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
            QVERIFY2(ReadDecimal_T(r.text) == r.value, r.text);
        QCOMPARE(DistanceUnits_T(0, 27), WORD(153));
        QCOMPARE(DistanceUnits_T(-30, 27), WORD(0xFFEF));
        QCOMPARE(DistanceUnits_T(-2147483647 - 1, 27), WORD(0x2F26));
    }
};

PLAT_TEST_MAIN(TestTestDialog)
#include "tst_test_dialog.moc"
