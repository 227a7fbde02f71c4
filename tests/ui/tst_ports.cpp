// The port settings dialog as a technician uses it: the lists, OK, Cancel,
// the factory defaults, the keys that do nothing, the parallel-port probe,
// and what survives a reopening (only COM1's stored serial values).
#include "platform/comdevices.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "ui/ports/ports.h"
#include "ui/support/printer_rig.h"
#include "support/parallel_backend.h"
#include "support/roots.h"

#include <QAbstractButton>
#include <QLabel>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

HWND OpenPortSettings()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_PORT_SETTINGS), nullptr, bPortSetDlgProc);
}

int Position(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

// Positions of the seven lists, in the order LPT, COM, baud, data bits,
// parity, stop bits, flow.
QList<int> Positions(HWND dialog)
{
    return {Position(dialog, IDC_PS_LPT),      Position(dialog, IDC_PS_COM),    Position(dialog, IDC_PS_BAUD),
            Position(dialog, IDC_PS_DATABITS), Position(dialog, IDC_PS_PARITY), Position(dialog, IDC_PS_STOPBITS),
            Position(dialog, IDC_PS_FLOW)};
}

COMMCONFIG Stored(const char* com)
{
    COMMCONFIG config{};
    DWORD size = sizeof config;
    GetDefaultCommConfigA(com, &config, &size);
    return config;
}

void StoreBaud(const char* com, DWORD baud)
{
    COMMCONFIG config = Stored(com);
    config.dcb.BaudRate = baud;
    SetDefaultCommConfigA(com, &config, sizeof config);
}

// Makes fake device nodes (plain files) under the private device root.
void MakeDevices(rig::Bench& bench, std::initializer_list<const char*> names)
{
    bench.dir().mkdirs("dev");
    for (const char* name : names)
        bench.dir().writeFile(std::string("dev/") + name, {});
}

// Links device nodes under the private device root to a terminal (the
// slave side of a virtual printer's pseudo-terminal).
void LinkDevices(rig::Bench& bench, const sim::SerialPrinter& line, std::initializer_list<const char*> names)
{
    bench.dir().mkdirs("dev");
    for (const char* name : names)
        std::filesystem::create_symlink(line.slavePath(), bench.dir() / (std::string("dev/") + name));
}

// Says a ttyS line has a UART behind it (or not), so the chooser lists it.
void SetUartType(rig::Bench& bench, const char* name, int type)
{
    std::ofstream(bench.dir().mkdirs(std::string("sys/class/tty/") + name) + "/type") << type << "\n";
}

using rig::MessageTexts;
using Rows = std::vector<std::string>;

} // namespace

class TestPorts : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(), PlatTestClearMessageBoxes(); }
    void cleanup() { PlatTestDestroyAll(); }

    // The lists, COM1's stored values shown whatever was chosen before; keys
    // that do nothing; and "测试lpt", which needs raw register access.
    void listsHoldTheTableRowsAndShowLpt1Com1AndCom1sStoredValues()
    {
        rig::Bench bench;
        StoreBaud("COM1", CBR_38400);
        gLptInfo = 2;
        gComInfo.port = 6;
        HWND dialog = OpenPortSettings();
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_LPT), (Rows{"LPT1", "LPT2", "LPT3", "LPT4"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_COM), (Rows{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_BAUD),
                 (Rows{"110", "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DATABITS), (Rows{"5", "6", "7", "8"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_PARITY), (Rows{"偶检验", "奇检验", "无", "标记", "空格"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_STOPBITS), (Rows{"1", "1.5", "2"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_FLOW), (Rows{"Xon/Xoff", "硬件", "无"}));
        QCOMPARE(Positions(dialog), (QList<int>{0, 0, 7, 3, 2, 0, 2}));
        QVERIFY(PlatTestChecked(dialog, IDC_PS_USB1) && !PlatTestChecked(dialog, IDC_PS_USB2));
        QVERIFY(!PlatTestEnabled(dialog, IDC_PS_TEST_LPT)); // the model is reached through ppdev

        QVERIFY(PlatTestFocus(dialog, IDC_PS_BAUD));
        QVERIFY(PlatTestKey(dialog, Qt::Key_Escape));
        QVERIFY(PlatTestKey(dialog, Qt::Key_Return));
        QVERIFY(PlatTestFocus(dialog, IDC_PS_USB1));
        QVERIFY(PlatTestKey(dialog, Qt::Key_Return));
        // Enter in the device box neither ends the dialog nor adds a row.
        const auto rows = PlatTestComboRows(dialog, IDC_PS_DEVICE);
        QVERIFY(PlatTestType(dialog, IDC_PS_DEVICE, "x"));
        QVERIFY(PlatTestKey(dialog, Qt::Key_Return));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DEVICE), rows);
        QVERIFY(!PlatTestDialogEnded(dialog));
        QVERIFY(PlatTestCloseBox(dialog));
        QVERIFY(PlatTestDialogEnded(dialog));

        testsupport::SimParallelBackend raw(bench.parallelPort(), true);
        testsupport::BackendGuard guard(&raw);
        dialog = OpenPortSettings();
        QVERIFY(PlatTestClick(dialog, IDC_PS_TEST_LPT));
        QVERIFY(!PlatTestDialogEnded(dialog));
        // The extended control register: 0x15, then 0x34, then 0x15 again.
        QCOMPARE(MessageTexts(), (Rows{"load success0", "read 1:21", "read 2:52", "read 3:21"}));
    }

    // Each row: what the technician picks, then what the selections and the
    // store hold after OK (or Cancel), and what a reopening shows.
    void choicesAndWhatSurvivesAReopening_data()
    {
        QTest::addColumn<QList<int>>("picks");      // pairs of control id, list position
        QTest::addColumn<bool>("defaults");         // "默认设置" first
        QTest::addColumn<int>("button");            // OK or Cancel
        QTest::addColumn<QList<int>>("selections"); // gLptInfo, then gComInfo's six
        QTest::addColumn<QString>("storedCom");
        QTest::addColumn<int>("storedBaud");
        QTest::addColumn<int>("com1BaudAfter"); // the next opening shows COM1 and its values
        QTest::newRow("COM3 19200") << QList<int>{IDC_PS_COM, 2, IDC_PS_BAUD, 6} << false << IDC_PS_OK
                                    << QList<int>{0, 6, 6, 3, 2, 0, 2} << "COM3" << 19200 << 38400;
        QTest::newRow("LPT2") << QList<int>{IDC_PS_LPT, 1} << false << IDC_PS_OK << QList<int>{1, 4, 7, 3, 2, 0, 2}
                              << "COM1" << 38400 << 38400;
        QTest::newRow("defaults, cancel") << QList<int>{} << true << IDC_PS_CANCEL << QList<int>{0, 4, 7, 3, 2, 0, 2}
                                          << "COM1" << 38400 << 38400;
        QTest::newRow("defaults, OK") << QList<int>{IDC_PS_LPT, 3} << true << IDC_PS_OK
                                      << QList<int>{0, 4, 5, 3, 2, 0, 2} << "COM1" << 9600 << 9600;
        // Xon/Xoff is stored, but never read back as the flow choice.
        QTest::newRow("Xon/Xoff") << QList<int>{IDC_PS_FLOW, 0} << false << IDC_PS_OK
                                  << QList<int>{0, 4, 7, 3, 2, 0, 0} << "COM1" << 38400 << 38400;
    }

    void choicesAndWhatSurvivesAReopening()
    {
        QFETCH(QList<int>, picks);
        QFETCH(bool, defaults);
        QFETCH(int, button);
        QFETCH(QList<int>, selections);
        QFETCH(QString, storedCom);
        QFETCH(int, storedBaud);
        QFETCH(int, com1BaudAfter);
        rig::Bench bench;
        sim::SerialPrinter line;
        LinkDevices(bench, line, {"ttyS0", "ttyS1", "ttyS2", "ttyS3"});
        StoreBaud("COM1", CBR_38400);
        HWND dialog = OpenPortSettings();
        for (qsizetype i = 0; i + 1 < picks.size(); i += 2)
            QVERIFY(PlatTestSelectComboRow(dialog, picks[i], picks[i + 1]));
        QVERIFY(PlatTestClick(dialog, IDC_PS_USB2));
        if (defaults) {
            QVERIFY(PlatTestClick(dialog, IDC_PS_DEFAULT));
            QVERIFY(!PlatTestDialogEnded(dialog));
            QCOMPARE(Positions(dialog), (QList<int>{0, 0, 5, 3, 2, 0, 2}));
            QVERIFY(PlatTestChecked(dialog, IDC_PS_USB1));
        }
        QVERIFY(PlatTestClick(dialog, button));
        QVERIFY(PlatTestDialogEnded(dialog));
        const QList<int> now{gLptInfo,          gComInfo.port,     gComInfo.baud, gComInfo.dataBits,
                             gComInfo.parity,   gComInfo.stopBits, gComInfo.flow};
        QCOMPARE(now, selections);
        QCOMPARE(int(gUsbInfo), button == IDC_PS_OK && !defaults ? 1 : 0);
        QCOMPARE(int(Stored(storedCom.toStdString().c_str()).dcb.BaudRate), storedBaud);
        // Every field the selections give the store: SetComConfigTest.
        QCOMPARE(int(Stored("COM1").dcb.BaudRate), com1BaudAfter);
        QVERIFY(MessageTexts().empty());

        HWND again = OpenPortSettings();
        QCOMPARE(Positions(again), (QList<int>{0, 0, com1BaudAfter == 9600 ? 5 : 7, 3, 2, 0, 2}));
        QVERIFY(PlatTestChecked(again, IDC_PS_USB1));
    }

    // The chooser lists the serial devices present, shows the device of the
    // chosen COM name, and OK keeps the one chosen. (That a COM port opens
    // its device: the console's serial tests, through the bench.)
    void theChooserListsTheSerialDevicesPresent()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        const std::string dev = bench.dir() / "dev/";
        PlatSetComDevice("COM1", ""); // back to the default: the chooser must do it
        MakeDevices(bench, {"ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "tty0", "lp0"});
        const std::string link = dev + "serial/by-id/usb-KQ_Adapter_A5-if00-port0";
        bench.dir().mkdirs("dev/serial/by-id");
        std::filesystem::create_symlink(printer.slavePath(), link);
        // Only ttyS0 has a UART behind it.
        for (auto [name, type] : {std::pair{"ttyS0", "4"}, std::pair{"ttyS1", "0"}})
            std::ofstream(bench.dir().mkdirs(std::string("sys/class/tty/") + name) + "/type") << type << "\n";
        HWND dialog = OpenPortSettings();
        QVERIFY(PlatTestVisible(dialog, IDC_PS_DEVICE));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DEVICE),
                 (Rows{link, dev + "ttyUSB0", dev + "ttyUSB2", dev + "ttyUSB10", dev + "ttyACM0", dev + "ttyS0"}));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), dev + "ttyS0");
        PlatSetComDevice("COM3", dev + "ttyACM0");
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 2));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), dev + "ttyACM0");
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), dev + "ttyS1");

        QVERIFY(PlatTestClick(dialog, IDC_PS_CANCEL));
        dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_DEVICE, 0));
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QVERIFY(PlatTestDialogEnded(dialog));
        QVERIFY(MessageTexts().empty());
        QCOMPARE(PlatComDevice("COM1"), link);
    }

    // A typed device: Cancel keeps nothing; OK keeps it even when it is not
    // there, and says so; an emptied box gives the default device back.
    void aTypedDeviceIsStoredOnlyByOk()
    {
        rig::Bench bench;
        MakeDevices(bench, {"ttyS0"});
        const std::string typed = bench.dir() / "dev/ttyUSB7";
        HWND dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, "");
        QVERIFY(PlatTestType(dialog, IDC_PS_DEVICE, typed));
        QVERIFY(PlatTestClick(dialog, IDC_PS_CANCEL));
        QCOMPARE(PlatComDevice("COM2"), bench.dir() / "dev/ttyS1");

        dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, typed.c_str());
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QCOMPARE(PlatComDevice("COM2"), typed);
        QCOMPARE(MessageTexts(), Rows{"COM2 的设备 " + typed + " 不存在。设置已保存，接上设备后才能使用。"});
        QCOMPARE(PlatTestMessageBoxes().front().type, UINT(MB_OK | MB_ICONWARNING));

        PlatTestClearMessageBoxes();
        dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, "  ");
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QCOMPARE(PlatComDevice("COM2"), bench.dir() / "dev/ttyS1");
    }

    void aStoreThatCannotBeWrittenIsReported()
    {
        rig::Bench bench;
        MakeDevices(bench, {"ttyS0"});
        // The store's folder would have to be made under a plain file.
        const std::string blocker = bench.dir().writeFile("blocker", {'x'});
        PlatSetRootPath(PlatRoot::Config, blocker + "/mptest");
        HWND dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_BAUD, 6));
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QVERIFY(PlatTestDialogEnded(dialog));
        QCOMPARE(MessageTexts(), Rows{"串口设置没有保存: 保存设置的文件夹不存在，也无法创建 (错误码 3)!\n设置文件：" +
                                      blocker + "/mptest/serial.conf"});
        const auto box = PlatTestMessageBoxes().front();
        QVERIFY(box.caption == "Error" && box.type == UINT(MB_OK | MB_ICONERROR));
        // The choice holds for this run all the same.
        QCOMPARE(int(gComInfo.baud), 6);
    }

    // The list follows devices that come and go while the dialog is open,
    // without touching what the box holds; "刷新" reads it again at once
    // (here for a UART that appeared, which no folder watch sees).
    void theDeviceListFollowsTheHardware()
    {
        rig::Bench bench;
        const std::string dev = bench.dir() / "dev/";
        MakeDevices(bench, {"ttyUSB0", "ttyS1"});
        SetUartType(bench, "ttyS1", 0);
        HWND dialog = OpenPortSettings();
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DEVICE), Rows{dev + "ttyUSB0"});
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, "");
        QVERIFY(PlatTestType(dialog, IDC_PS_DEVICE, "/dev/ttyUSB9"));

        const auto rowsBecome = [&](const Rows& rows) {
            return PlatTestWaitFor([&] { return PlatTestComboRows(dialog, IDC_PS_DEVICE) == rows; }, 5000);
        };
        MakeDevices(bench, {"ttyACM0"});
        QVERIFY(rowsBecome({dev + "ttyUSB0", dev + "ttyACM0"}));
        // The first adapter with a stable name brings its folders with it.
        bench.dir().mkdirs("dev/serial/by-id");
        const std::string link = dev + "serial/by-id/usb-KQ_Adapter_B7-if00-port0";
        std::filesystem::create_symlink(dev + "ttyACM0", link);
        QVERIFY(rowsBecome({link, dev + "ttyUSB0", dev + "ttyACM0"}));
        std::filesystem::remove(dev + "ttyUSB0");
        QVERIFY(rowsBecome({link, dev + "ttyACM0"}));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), "/dev/ttyUSB9");

        SetUartType(bench, "ttyS1", 4);
        QVERIFY(PlatTestVisible(dialog, IDC_PS_REFRESH));
        QVERIFY(PlatTestClick(dialog, IDC_PS_REFRESH));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DEVICE), (Rows{link, dev + "ttyACM0", dev + "ttyS1"}));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), "/dev/ttyUSB9");
    }

    // The active system console is shown marked. Chosen for a COM port it is
    // refused and nothing is stored; a COM port whose device it already is
    // keeps its line settings, with a warning.
    void theSystemConsoleIsMarkedAndRefused()
    {
        rig::Bench bench;
        const std::string dev = bench.dir() / "dev/";
        sim::SerialPrinter console, other;
        LinkDevices(bench, console, {"ttyS0"});
        LinkDevices(bench, other, {"ttyS1"});
        for (const char* name : {"ttyS0", "ttyS1"})
            SetUartType(bench, name, 4);
        testsupport::RootGuard proc(PlatRoot::Proc, bench.dir().mkdirs("proc"));
        struct stat st {};
        stat(console.slavePath().c_str(), &st);
        std::ofstream(bench.dir() / "proc/consoles") << "ttyS0 -W- (EC p a) " << major(st.st_rdev) << ":"
                                                     << minor(st.st_rdev) << "\n";
        const std::string marked = dev + "ttyS0 (系统控制台)";

        HWND dialog = OpenPortSettings();
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DEVICE), (Rows{marked, dev + "ttyS1"}));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), marked);
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_BAUD, 6));
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_DEVICE, 0));
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QVERIFY(!PlatTestDialogEnded(dialog));
        QCOMPARE(MessageTexts(), Rows{"COM2 不能使用设备 " + dev +
                                      "ttyS0：它是系统控制台，发给打印机的数据会出现在本机的控制台上。请选择打印机所连接的设备。"});
        QCOMPARE(PlatTestMessageBoxes().front().owner, dialog);
        QVERIFY(PlatComDevice("COM2") == dev + "ttyS1" && Stored("COM2").dcb.BaudRate != CBR_19200);
        QVERIFY(PlatTestClick(dialog, IDC_PS_CANCEL));

        PlatTestClearMessageBoxes();
        dialog = OpenPortSettings(); // COM1, whose default device is the console
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_BAUD, 6));
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QVERIFY(PlatTestDialogEnded(dialog));
        QCOMPARE(int(Stored("COM1").dcb.BaudRate), 19200);
        QCOMPARE(MessageTexts(), Rows{"COM1 的设备 " + dev + "ttyS0 是系统控制台，mptest 不会打开它。设置已保存；请为 COM1 "
                                      "选择打印机所连接的设备。"});
    }

    // A path that is no serial line is kept, as a missing one is, and the
    // technician is told what it is.
    void aPathThatIsNoSerialLineIsWarnedAbout()
    {
        rig::Bench bench;
        MakeDevices(bench, {"ttyUSB3"});
        const std::pair<std::string, std::string> cases[] = {
            {bench.dir() / "dev", "是一个文件夹，不是串口"},
            {"/dev/null", "不是串口设备"},
            {bench.dir() / "dev/ttyUSB3", "不是串口设备"}, // a plain file
        };
        for (const auto& [device, what] : cases) {
            PlatTestClearMessageBoxes();
            HWND dialog = OpenPortSettings();
            QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 2));
            SetDlgItemTextA(dialog, IDC_PS_DEVICE, device.c_str());
            QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
            QVERIFY(PlatTestDialogEnded(dialog));
            QCOMPARE(PlatComDevice("COM3"), device);
            QCOMPARE(MessageTexts(), Rows{"COM3 的设备 " + device + " " + what + "。设置已保存；请选择打印机所连接的设备。"});
        }
    }

    // Every text of the dialog is shown whole, "(默认COM1)" too, and a device
    // path longer than its box can be read whole as the box's tooltip.
    void textsAreWholeAndALongPathIsReadInFull()
    {
        rig::Bench bench;
        HWND dialog = OpenPortSettings();
        QWidget* window = PlatTestWidget(dialog);
        QStringList clipped;
        // With a character to spare: desktops' fonts differ, and a label
        // too narrow wraps its text out of sight.
        for (QLabel* label : window->findChildren<QLabel*>()) {
            const QFontMetrics metrics = label->fontMetrics();
            if (label->isVisible() &&
                metrics.horizontalAdvance(label->text()) + metrics.averageCharWidth() > label->contentsRect().width())
                clipped << label->text();
        }
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
            if (button->isVisible() && button->fontMetrics().horizontalAdvance(button->text()) + 8 > button->width())
                clipped << button->text();
        QCOMPARE(clipped, QStringList{});

        const std::string path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, path.c_str());
        QWidget* box = PlatTestWidget(PlatTestFindControl(dialog, IDC_PS_DEVICE));
        QVERIFY(PlatTestWaitFor([&] { return box->toolTip().toStdString() == path; }, 2000));
    }
};

PLAT_TEST_MAIN_WITH(TestPorts, ResRegister)
#include "tst_ports.moc"
