// The port settings dialog as a technician uses it: the lists, OK, Cancel,
// the factory defaults, the keys that do nothing, the parallel-port probe,
// and what survives a reopening (only COM1's stored serial values).
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/console/console.h"
#include "ui/ports/ports.h"
#include "ui/support/printer_rig.h"

#include <array>
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
std::array<int, 7> Positions(HWND dialog)
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
    std::filesystem::create_directories(bench.dir().path() + "/dev");
    for (const char* name : names)
        bench.dir().writeFile(std::string("dev/") + name, {});
}

std::string Dev(rig::Bench& bench, const std::string& name)
{
    return bench.dir().path() + "/dev/" + name;
}

bool Ended(HWND dialog)
{
    return PlatTestDialogEnded(dialog);
}

using rig::MessageTexts;

// The parallel model reached as raw registers, so the probe may run.
class RawParallel final : public PortIoBackend {
public:
    explicit RawParallel(sim::ParallelPort& port) : port_(port) {}
    bool read(WORD address, BYTE* value) override { return port_.readPort(address, value); }
    bool write(WORD address, BYTE value) override { return port_.writePort(address, value); }
    bool raw() const override { return true; }
    const char* name() const override { return "sim-raw"; }

private:
    sim::ParallelPort& port_;
};

} // namespace

class TestPorts : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        PlatTestRecordMessageBoxes();
        PlatTestClearMessageBoxes();
    }
    void cleanup() { PlatTestDestroyAll(); }

    void listsHoldTheTableRowsAndShowLpt1Com1AndCom1sStoredValues()
    {
        rig::Bench bench;
        StoreBaud("COM1", CBR_38400);
        gLptInfo = 2;
        gComInfo.port = 6;
        HWND dialog = OpenPortSettings();
        QVERIFY(dialog != nullptr);
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_LPT), (std::vector<std::string>{"LPT1", "LPT2", "LPT3", "LPT4"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_COM),
                 (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_BAUD),
                 (std::vector<std::string>{"110", "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600",
                                           "115200"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DATABITS), (std::vector<std::string>{"5", "6", "7", "8"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_PARITY),
                 (std::vector<std::string>{"偶检验", "奇检验", "无", "标记", "空格"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_STOPBITS), (std::vector<std::string>{"1", "1.5", "2"}));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_FLOW), (std::vector<std::string>{"Xon/Xoff", "硬件", "无"}));
        QCOMPARE(Positions(dialog), (std::array<int, 7>{0, 0, 7, 3, 2, 0, 2}));
        QVERIFY(PlatTestChecked(dialog, IDC_PS_USB1));
        QVERIFY(!PlatTestChecked(dialog, IDC_PS_USB2));
        // The model behind the layer is no raw register access.
        QVERIFY(!PlatTestEnabled(dialog, IDC_PS_TEST_LPT));
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
        QTest::addColumn<int>("com1BaudAfter");
        QTest::addColumn<QList<int>>("reopened"); // the seven positions at the next opening
        // COM3 at 19200: stored for COM3; the next opening shows COM1 and its values.
        QTest::newRow("COM3 19200")
            << QList<int>{IDC_PS_COM, 2, IDC_PS_BAUD, 6} << false << IDC_PS_OK << QList<int>{0, 6, 6, 3, 2, 0, 2}
            << "COM3" << 19200 << 38400 << QList<int>{0, 0, 7, 3, 2, 0, 2};
        QTest::newRow("LPT2") << QList<int>{IDC_PS_LPT, 1} << false << IDC_PS_OK << QList<int>{1, 4, 7, 3, 2, 0, 2}
                              << "COM1" << 38400 << 38400 << QList<int>{0, 0, 7, 3, 2, 0, 2};
        QTest::newRow("defaults, cancel") << QList<int>{} << true << IDC_PS_CANCEL << QList<int>{0, 4, 7, 3, 2, 0, 2}
                                          << "COM1" << 38400 << 38400 << QList<int>{0, 0, 7, 3, 2, 0, 2};
        QTest::newRow("defaults, OK") << QList<int>{IDC_PS_LPT, 3} << true << IDC_PS_OK
                                      << QList<int>{0, 4, 5, 3, 2, 0, 2} << "COM1" << 9600 << 9600
                                      << QList<int>{0, 0, 5, 3, 2, 0, 2};
        // Xon/Xoff is stored, but never read back as the flow choice.
        QTest::newRow("Xon/Xoff") << QList<int>{IDC_PS_FLOW, 0} << false << IDC_PS_OK
                                  << QList<int>{0, 4, 7, 3, 2, 0, 0} << "COM1" << 38400 << 38400
                                  << QList<int>{0, 0, 7, 3, 2, 0, 2};
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
        QFETCH(QList<int>, reopened);
        rig::Bench bench;
        MakeDevices(bench, {"ttyS0", "ttyS1", "ttyS2", "ttyS3"});
        StoreBaud("COM1", CBR_38400);
        HWND dialog = OpenPortSettings();
        for (qsizetype i = 0; i + 1 < picks.size(); i += 2)
            QVERIFY(PlatTestSelectComboRow(dialog, picks[i], picks[i + 1]));
        QVERIFY(PlatTestClick(dialog, IDC_PS_USB2));
        if (defaults) {
            QVERIFY(PlatTestClick(dialog, IDC_PS_DEFAULT));
            QVERIFY(!Ended(dialog));
            QCOMPARE(Positions(dialog), (std::array<int, 7>{0, 0, 5, 3, 2, 0, 2}));
            QVERIFY(PlatTestChecked(dialog, IDC_PS_USB1));
        }
        QVERIFY(PlatTestClick(dialog, button));
        QVERIFY(Ended(dialog));
        const QList<int> now{gLptInfo,          gComInfo.port,     gComInfo.baud, gComInfo.dataBits,
                             gComInfo.parity,   gComInfo.stopBits, gComInfo.flow};
        QCOMPARE(now, selections);
        QCOMPARE(int(gUsbInfo), button == IDC_PS_OK && !defaults ? 1 : 0);
        const COMMCONFIG stored = Stored(storedCom.toStdString().c_str());
        QCOMPARE(int(stored.dcb.BaudRate), storedBaud);
        QCOMPARE(int(Stored("COM1").dcb.BaudRate), com1BaudAfter);
        if (defaults && button == IDC_PS_OK) {
            QCOMPARE(int(stored.dcb.ByteSize), 8);
            QCOMPARE(int(stored.dcb.Parity), NOPARITY);
            QCOMPARE(int(stored.dcb.StopBits), ONESTOPBIT);
            QVERIFY(!stored.dcb.fOutxCtsFlow && !stored.dcb.fInX);
        }
        QVERIFY(MessageTexts().empty());

        HWND again = OpenPortSettings();
        const std::array<int, 7> positions = Positions(again);
        QCOMPARE(QList<int>(positions.begin(), positions.end()), reopened);
        QVERIFY(PlatTestChecked(again, IDC_PS_USB1));
    }

    void enterEscapeAndTheCloseBox()
    {
        rig::Bench bench;
        HWND dialog = OpenPortSettings();
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
        QVERIFY(!Ended(dialog));
        QVERIFY(PlatTestCloseBox(dialog));
        QVERIFY(Ended(dialog));
    }

    void theProbeRunsWhereRegistersAreReachedDirectly()
    {
        rig::Bench bench;
        RawParallel raw(bench.parallelPort());
        PortIoSetBackendForTest(&raw);
        InitializeWinIo();
        HWND dialog = OpenPortSettings();
        QVERIFY(PlatTestEnabled(dialog, IDC_PS_TEST_LPT));
        QVERIFY(PlatTestClick(dialog, IDC_PS_TEST_LPT));
        QVERIFY(!Ended(dialog));
        // The extended control register: 0x15, then 0x34, then 0x15 again.
        QCOMPARE(MessageTexts(),
                 (std::vector<std::string>{"load success0", "read 1:21", "read 2:52", "read 3:21"}));
        ShutdownWinIo();
    }

    void theChooserListsTheSerialDevicesPresent()
    {
        rig::Bench bench;
        const std::string root = bench.dir().path();
        MakeDevices(bench, {"ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "tty0", "lp0"});
        std::filesystem::create_directories(root + "/dev/serial/by-id");
        std::filesystem::create_symlink("../../ttyUSB0", root + "/dev/serial/by-id/usb-KQ_Adapter_A5-if00-port0");
        // Only ttyS0 has a UART behind it.
        for (auto [name, type] : {std::pair{"ttyS0", "4"}, std::pair{"ttyS1", "0"}}) {
            std::filesystem::create_directories(root + "/sys/class/tty/" + name);
            std::ofstream(root + "/sys/class/tty/" + name + "/type") << type << "\n";
        }
        HWND dialog = OpenPortSettings();
        QVERIFY(PlatTestVisible(dialog, IDC_PS_DEVICE));
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DEVICE),
                 (std::vector<std::string>{Dev(bench, "serial/by-id/usb-KQ_Adapter_A5-if00-port0"),
                                           Dev(bench, "ttyUSB0"), Dev(bench, "ttyUSB2"), Dev(bench, "ttyUSB10"),
                                           Dev(bench, "ttyACM0"), Dev(bench, "ttyS0")}));
        // The box shows what the chosen COM name opens.
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), Dev(bench, "ttyS0"));
        PlatSetComDevice("COM3", Dev(bench, "ttyACM0"));
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 2));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), Dev(bench, "ttyACM0"));
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), Dev(bench, "ttyS1"));
    }

    void aChosenAdapterIsWhereTheConsolesSerialPortGoes()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        PlatSetComDevice("COM1", ""); // back to the default: the chooser must do it
        const std::string link = Dev(bench, "serial/by-id/usb-KQ_Printer-if00");
        std::filesystem::create_directories(bench.dir().path() + "/dev/serial/by-id");
        std::filesystem::create_symlink(printer.slavePath(), link);
        HWND dialog = OpenPortSettings();
        QCOMPARE(PlatTestComboRows(dialog, IDC_PS_DEVICE).front(), link);
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_DEVICE, 0));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), link);
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QVERIFY(Ended(dialog));
        QVERIFY(MessageTexts().empty());
        QCOMPARE(PlatComDevice("COM1"), link);

        HWND console = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, bUserCmdDlgProc);
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, "1B 40"));
        QVERIFY(PlatTestClick(console, IDC_UC_HEX));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(printer.waitForBytes(2, std::chrono::milliseconds(5000)));
        QCOMPARE(printer.received(), (std::vector<uint8_t>{0x1B, 0x40}));
        QVERIFY(PlatTestClick(console, IDC_UC_EXIT));
    }

    // A typed device: Cancel keeps nothing; OK keeps it even when it is not
    // there, and says so; an emptied box gives the default device back.
    void aTypedDeviceIsStoredOnlyByOk()
    {
        rig::Bench bench;
        MakeDevices(bench, {"ttyS0"});
        const std::string typed = Dev(bench, "ttyUSB7");
        HWND dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, "");
        QVERIFY(PlatTestType(dialog, IDC_PS_DEVICE, typed));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), typed);
        QVERIFY(PlatTestClick(dialog, IDC_PS_CANCEL));
        QCOMPARE(PlatComDevice("COM2"), Dev(bench, "ttyS1"));

        dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, typed.c_str());
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QCOMPARE(PlatComDevice("COM2"), typed);
        QCOMPARE(MessageTexts(),
                 std::vector<std::string>{"COM2 的设备 " + typed + " 不存在。设置已保存，接上设备后才能使用。"});
        QCOMPARE(PlatTestMessageBoxes().front().type, UINT(MB_OK | MB_ICONWARNING));

        PlatTestClearMessageBoxes();
        dialog = OpenPortSettings();
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        QCOMPARE(PlatTestText(dialog, IDC_PS_DEVICE), typed);
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, "  ");
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 0));
        QVERIFY(PlatTestSelectComboRow(dialog, IDC_PS_COM, 1));
        SetDlgItemTextA(dialog, IDC_PS_DEVICE, " ");
        QVERIFY(PlatTestClick(dialog, IDC_PS_OK));
        QCOMPARE(PlatComDevice("COM2"), Dev(bench, "ttyS1"));
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
        QVERIFY(Ended(dialog));
        const auto boxes = PlatTestMessageBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].text, std::string("串口设置没有保存: 保存设置的文件夹不存在，也无法创建 (错误码 3)!"));
        QCOMPARE(boxes[0].caption, std::string("Error"));
        QCOMPARE(boxes[0].type, UINT(MB_OK | MB_ICONERROR));
        // The choice holds for this run all the same.
        QCOMPARE(int(gComInfo.baud), 6);
    }
};

PLAT_TEST_MAIN(TestPorts)
#include "tst_ports.moc"
