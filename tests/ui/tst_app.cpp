// The application shell: start-up, the main window, its shutdown by close
// box and by menu, and the About box.
#include "app/app.h"
#include "platform/linux/notices.h"
#include "platform/linux/options.h"
#include "platform/linux/roots.h"
#include "port/linux/portio_backend.h"
#include "platform/qt/startup.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "ui/support/printer_rig.h"
#include "ui/support/window_fixture.h"

namespace {

const char kCaption[] = "衡岚微型打印机测试软件A V2.4(适用于win9x/me/2000/xp)";

// Runs WinMain; `drive` gets the main window once it is up, inside its
// modal loop, and must end it one way or another. `dialogs` gets the main
// window and the dialogs it runs.
int RunProgram(const std::function<void(HWND)>& drive, std::vector<HWND>* dialogs = nullptr)
{
    PlatTestSetDialogHook([&](HWND dialog) {
        // The main window and the dialogs it runs, not the pages inside them.
        if (dialogs != nullptr && (dialogs->empty() || GetParent(dialog) == dialogs->front()))
            dialogs->push_back(dialog);
        if (GetParent(dialog) == nullptr && PlatTestWindowText(dialog) == kCaption)
            QTimer::singleShot(0, [=] { drive(dialog); });
    });
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
    PlatTestSetDialogHook({});
    return result;
}

// A bench for a run of WinMain, which prepares the port-I/O layer itself and
// leaves the lock to process exit: the lock is put back for the bench, even
// when a check ends the test early.
struct ProgramBench : rig::Bench {
    ProgramBench() { ShutdownWinIo(); }
    ~ProgramBench() { UtilInit(); }
};

bool HandleIsOpen(HANDLE handle)
{
    DWORD size = 0;
    return GetFileSize(handle, &size) != INVALID_FILE_SIZE || GetLastError() != ERROR_INVALID_HANDLE;
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(), PlatTestClearMessageBoxes(); }
    void cleanup() { PlatTestDestroyAll(), PortIoFailInitForTest(false); }

    void aLayerThatCannotBePreparedShowsOnlyItsMessage()
    {
        ProgramBench bench;
        PortIoFailInitForTest(true);
        std::vector<HWND> dialogs;
        QCOMPARE(RunProgram([](HWND) {}, &dialogs), 0);
        QVERIFY(dialogs.empty());
        const auto boxes = PlatTestMessageBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].text + "|" + boxes[0].caption, std::string("Unable to import winio.lib!|DialogBox failure"));
        QVERIFY(boxes[0].owner == nullptr && (boxes[0].type & 0xF0) == MB_ICONERROR);
    }

    // A machine without a parallel port still starts, without a message.
    // The main window: its caption and picture; Escape (command 2) does
    // nothing; the menu runs each dialog modally over it.
    void mainWindowShowsCaptionMenuAndPicture()
    {
        ProgramBench bench;
        PortIoSetBackendForTest(nullptr);
        PlatSetRootPath(PlatRoot::Proc, bench.dir().path());
        std::string caption;
        bool picture = false, mainOnUnderADialog = false, menusRan = true, ended = false;
        std::vector<HWND> dialogs, owners;
        // Whatever goes wrong inside, the drive ends the program: no check returns early there.
        RunProgram(
            [&](HWND main) {
                caption = PlatTestWindowText(main);
                picture = PlatTestVisible(main, IDC_MAIN_PICTURE);
                PlatTestKey(main, Qt::Key_Escape);
                ended = PlatTestDialogEnded(main);
                for (auto [command, close] : {std::pair{IDM_ABOUT, IDC_ABOUT_OK}, std::pair{IDM_PORT_SETTINGS, IDC_PS_CANCEL},
                                              std::pair{IDM_TEST, IDC_T_CLOSE}}) {
                    QTimer::singleShot(0, [&, close] {
                        owners.push_back(GetParent(dialogs.back()));
                        mainOnUnderADialog |= IsWindowEnabled(main) != FALSE;
                        PlatTestClick(dialogs.back(), close);
                    });
                    menusRan = PlatTestMenuCommand(main, command) && menusRan; // modally until the close
                }
                ended = ended || PlatTestDialogEnded(main);
                PlatTestMenuCommand(main, IDM_EXIT);
            },
            &dialogs);
        PlatSetRootPath(PlatRoot::Proc, "");
        QCOMPARE(caption, std::string(kCaption));
        QVERIFY(picture && menusRan && !ended && !mainOnUnderADialog);
        QCOMPARE(dialogs.size(), size_t(4));
        QCOMPARE(owners, std::vector<HWND>(3, dialogs.front()));
        QVERIFY(PlatTestMessageBoxes().empty());
    }

    // A serial store with a fault in it: the program says so once, in a
    // message box naming the file and the line, however often it reads the
    // store, and runs on.
    void aMalformedStoreIsShownOnce()
    {
        ProgramBench bench;
        PlatQtRequireDisplay(); // as at the program's start: notices become message boxes
        struct Unhook {
            ~Unhook() { PlatSetNoticeHandler(nullptr); }
        } unhook;
        const std::string text = "[COM1]\nbaud=fast\n";
        bench.dir().mkdirs("config");
        const std::string store = bench.dir().writeFile("config/serial.conf", {text.begin(), text.end()});
        for (int run = 0; run < 2; ++run)
            QCOMPARE(RunProgram([](HWND main) { PlatTestMenuCommand(main, IDM_EXIT); }), 0);
        const auto boxes = PlatTestMessageBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY2(boxes[0].text.find(store) != std::string::npos &&
                     boxes[0].text.find("第 2 行 [COM1] baud=fast") != std::string::npos,
                 boxes[0].text.c_str());
    }

    // --epp: the EPP console opens over the main window at start. (Other
    // options: the device root's option test.)
    void commandLineOptions()
    {
        ProgramBench bench;
        char program[] = "mptest";
        char epp[] = "--epp";
        char* opensEpp[] = {program, epp, nullptr};
        QCOMPARE(PlatTakeOptions(2, opensEpp), -1);

        std::vector<HWND> dialogs;
        HWND eppOwner = nullptr;
        bool startEnabled = false;
        PlatTestSetDialogHook([&](HWND dialog) {
            dialogs.push_back(dialog);
            if (GetParent(dialog) == nullptr)
                return;
            QTimer::singleShot(0, [&, dialog] {
                eppOwner = GetParent(dialog);
                startEnabled = PlatTestEnabled(dialog, IDC_EPP_START_READ);
                PostMessageA(eppOwner, WM_COMMAND, IDM_EXIT, 0);
                PlatTestCloseBox(dialog);
            });
        });
        QCOMPARE(WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL), 0);
        PlatTestSetDialogHook({});
        QCOMPARE(dialogs.size(), size_t(2));
        QCOMPARE(eppOwner, dialogs.front());
        QVERIFY(startEnabled);
        // The command is posted once: the next start opens no console.
        QVERIFY(PlatTakeStartCommands().empty());
    }

    // --device-root on a folder that is gone (its printer ended): the
    // program starts, and says so over the main window.
    void aGoneDeviceRootIsShownOverTheMainWindow()
    {
        ProgramBench bench;
        std::string gone = bench.dir() / "ended";
        char program[] = "mptest", option[] = "--device-root";
        char* args[] = {program, option, gone.data(), nullptr};
        QCOMPARE(PlatTakeOptions(3, args), -1);
        HWND main = nullptr;
        RunProgram([&](HWND window) {
            main = window;
            PlatTestWaitFor([] { return !PlatTestMessageBoxes().empty(); }, 5000);
            PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        });
        const auto boxes = PlatTestMessageBoxes();
        QVERIFY(boxes.size() == 1 && boxes.front().owner == main && boxes.front().type == UINT(MB_OK | MB_ICONWARNING));
        QVERIFY(boxes.front().text.starts_with("设备根目录 " + gone + " 不存在"));
    }

    void closeBoxAndExitShutDownAlike_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("close box") << 0;
        QTest::newRow("menu 退出") << 1; // (WM_CLOSE is the close box: tst_window_buttons)
    }

    void closeBoxAndExitShutDownAlike()
    {
        QFETCH(int, how);
        ProgramBench bench;
        const std::string portFile = bench.dir().writeFile("port", {1, 2, 3});
        const std::string sendFile = bench.dir().writeFile("send", {4, 5, 6});
        HANDLE port = nullptr;
        HANDLE send = nullptr;
        const char* backendWhileOpen = "";
        RunProgram([&](HWND main) {
            backendWhileOpen = PortIoBackendName();
            // What a feature dialog might have left behind.
            port = CreateFileA(portFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            send = CreateFileA(sendFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            gCurrentPort.type = PORT_SERIAL;
            gCurrentPort.handle = port;
            gCurrentPort.state = PORT_STATE_IDLE;
            gCurOutputBuf.hFile = send;
            if (how == 0)
                PlatTestCloseBox(main);
            else
                PlatTestMenuCommand(main, IDM_EXIT);
        });
        QCOMPARE(std::string(backendWhileOpen), std::string("sim"));
        QVERIFY(!HandleIsOpen(port));
        QVERIFY(!HandleIsOpen(send));
        QVERIFY(gCurrentPort.handle == nullptr);
        QVERIFY(gCurOutputBuf.hFile == nullptr);
        QCOMPARE(std::string(PortIoBackendName()), std::string(""));
    }

    void aboutBoxClosesOnOkAndCloseOnly()
    {
        struct Row {
            const char* name;
            void (*act)(HWND about);
            bool ends;
        };
        const Row rows[] = {
            {"click 确定", [](HWND about) { PlatTestClick(about, IDC_ABOUT_OK); }, true},
            // Enter answers with the default button, 1225.
            {"Enter", [](HWND about) { PlatTestKey(about, Qt::Key_Return); }, true},
            {"close command", [](HWND about) { SendMessageA(about, WM_CLOSE, 0, 0); }, true},
            {"Escape (command 2)", [](HWND about) { PlatTestKey(about, Qt::Key_Escape); }, false},
            {"command 1", [](HWND about) { SendMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }, false},
        };
        for (const Row& r : rows) {
            RowTrace trace{r.name};
            HWND about = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_ABOUT), nullptr, bAboutDlgProc);
            r.act(about);
            INT_PTR result = -1;
            QCOMPARE(PlatTestDialogEnded(about, &result), r.ends);
            if (r.ends)
                QCOMPARE(result, INT_PTR(0));
            PlatTestDestroyAll();
        }
    }
};

PLAT_TEST_MAIN_WITH(TestApp, ResRegister)
#include "tst_app.moc"
