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

#include <filesystem>
#include <fstream>

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
        MakeDevices(bench, {"ttyS0", "ttyS1", "ttyS2", "ttyS3"});
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
        QCOMPARE(MessageTexts(), Rows{"串口设置没有保存: 保存设置的文件夹不存在，也无法创建 (错误码 3)!"});
        const auto box = PlatTestMessageBoxes().front();
        QVERIFY(box.caption == "Error" && box.type == UINT(MB_OK | MB_ICONERROR));
        // The choice holds for this run all the same.
        QCOMPARE(int(gComInfo.baud), 6);
    }
};

PLAT_TEST_MAIN_WITH(TestPorts, ResRegister)
#include "tst_ports.moc"
