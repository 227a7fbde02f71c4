// The window layer's dialogs against what Windows does: templates,
// WM_INITDIALOG, modal loops nested and ended, owners disabled, child pages,
// dead handles, message boxes, the file chooser and the screen size.
#include "ui/support/window_fixture.h"

#include "res/resource.h"
#include "res/resources.h"

#include <QTemporaryDir>
#include <QTimer>

#include <thread>

namespace {

// State of the dialog procedures below, reset by init().
struct ProcState {
    HWND parent = nullptr;
    INT_PTR nestedResult = 0;
    bool controlsAtInit = false;
    LPARAM initParam = 0;
    bool endInInit = false;
    LRESULT userAnswer = 0;
    bool userHandled = false;
} gState;

// Ends with the id of the button pressed (Escape: IDCANCEL).
INT_PTR CALLBACK NestedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageLog().push_back({window, message, wParam, lParam});
    if (message == WM_INITDIALOG) {
        gState.controlsAtInit = GetDlgItem(window, kDefPush) != nullptr;
        gState.initParam = lParam;
        if (gState.endInInit)
            EndDialog(window, 99);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == kDefPush || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// Its "Open" button runs NestedProc modally and keeps the result.
INT_PTR CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageLog().push_back({window, message, wParam, lParam});
    if (message == WM_COMMAND && LOWORD(wParam) == kPush) {
        gState.nestedResult =
            DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kTplSmall), window, NestedProc, 0x5150);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

// Answers WM_USER + 5 through DWLP_MSGRESULT, as a dialog procedure must.
INT_PTR CALLBACK AnswerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageLog().push_back({window, message, wParam, lParam});
    if (message == WM_USER + 5) {
        SetWindowLongPtrA(window, DWLP_MSGRESULT, gState.userAnswer);
        return gState.userHandled;
    }
    return message == WM_INITDIALOG;
}

} // namespace

class TestWindowDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestTemplates(); }
    void init()
    {
        MessageLog().clear();
        gState = ProcState{};
        PlatTestRecordMessageBoxes();
        PlatTestClearMessageBoxes();
    }
    void cleanup()
    {
        PlatTestSetDialogHook({});
        PlatTestDestroyAll();
        PlatTestSetScreenSize(0, 0);
    }

    void missingTemplate_data();
    void missingTemplate();
    void initDialog();
    void nestedModal_data();
    void nestedModal();
    void userMessagesAndResults_data();
    void userMessagesAndResults();
    void captionAndUserData();
    void icon();
    void menuCommands();
    void childPage();
    void deadHandles_data();
    void deadHandles();
    void postMessage();
    void messageBoxes_data();
    void messageBoxes();
    void messageBoxFromAnotherThread();
    void fileChooser_data();
    void fileChooser();
    void screenSizeAndPlacement();
};

void TestWindowDialogs::missingTemplate_data()
{
    QTest::addColumn<QString>("name"); // empty: the numeric id 4242
    // Windows: DialogBoxParam gives -1 and ERROR_RESOURCE_NAME_NOT_FOUND,
    // CreateDialogParam gives NULL with the same error.
    QTest::newRow("numeric id") << QString();
    QTest::newRow("name") << "NO_SUCH_DIALOG";
}

void TestWindowDialogs::missingTemplate()
{
    QFETCH(QString, name);
    const QByteArray utf8 = name.toUtf8();
    LPCSTR tpl = name.isEmpty() ? MAKEINTRESOURCEA(4242) : utf8.constData();
    SetLastError(0);
    QCOMPARE(DialogBoxParamA(GetModuleHandleA(nullptr), tpl, nullptr, LoggingDlgProc, 0), INT_PTR(-1));
    QCOMPARE(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0);
    QCOMPARE(CreateDialogParamA(GetModuleHandleA(nullptr), tpl, nullptr, LoggingDlgProc, 0), HWND(nullptr));
    QCOMPARE(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    QCOMPARE(PlatTestOpenDialog(tpl, nullptr, LoggingDlgProc), HWND(nullptr));
    QCOMPARE(MessageLog().size(), size_t(0)); // no procedure ran
}

void TestWindowDialogs::initDialog()
{
    // By name, as the main window is found.
    HWND dlg = PlatTestOpenDialog("SMALL_DIALOG", nullptr, NestedProc, 0x1234);
    QVERIFY(dlg);
    // WM_INITDIALOG comes first, with the init parameter, when the controls exist.
    QCOMPARE(MessageLog().front().message, UINT(WM_INITDIALOG));
    QCOMPARE(gState.initParam, LPARAM(0x1234));
    QVERIFY(gState.controlsAtInit);
    QVERIFY(PlatTestWidget(dlg)->isVisible());
    QCOMPARE(PlatTestWindowText(dlg), std::string("Small"));
    // It returned TRUE: the first WS_TABSTOP control has the focus.
    QCOMPARE(PlatTestWidget(dlg)->focusWidget(), PlatTestWidget(GetDlgItem(dlg, kPush)));
}

void TestWindowDialogs::nestedModal_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<INT_PTR>("result");
    // The hook clicks the nested dialog's default button before its loop runs.
    QTest::newRow("clicked from the hook") << "click" << INT_PTR(kDefPush);
    // The hook schedules the click; it runs inside the nested loop.
    QTest::newRow("clicked inside the loop") << "later" << INT_PTR(kDefPush);
    // Escape in the nested dialog: IDCANCEL to its procedure, which ends it.
    QTest::newRow("Escape") << "escape" << INT_PTR(IDCANCEL);
    // EndDialog during WM_INITDIALOG: never shown, the result comes back at once.
    QTest::newRow("ended in WM_INITDIALOG") << "init" << INT_PTR(99);
}

void TestWindowDialogs::nestedModal()
{
    QFETCH(QString, drive);
    QFETCH(INT_PTR, result);
    gState.endInInit = drive == "init";
    HWND parent = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, ParentProc);
    HWND nested = nullptr;
    bool parentEnabledInside = true;
    bool nestedShown = false;
    PlatTestSetDialogHook([&](HWND dialog) {
        nested = dialog;
        parentEnabledInside = IsWindowEnabled(parent);
        nestedShown = PlatTestWidget(dialog)->isVisible();
        if (drive == "click")
            PlatTestClick(dialog, kDefPush);
        else if (drive == "later")
            QTimer::singleShot(0, [dialog] { PlatTestClick(dialog, kDefPush); });
        else if (drive == "escape")
            QTimer::singleShot(0, [dialog] { PlatTestKey(dialog, Qt::Key_Escape); });
    });

    // The click returns when the nested modal loop has ended.
    QVERIFY(PlatTestClick(parent, kPush));

    QVERIFY(nested);
    QCOMPARE(gState.nestedResult, result);
    QCOMPARE(gState.initParam, LPARAM(0x5150));
    QVERIFY(!parentEnabledInside);      // the owner is disabled while the dialog runs
    QCOMPARE(nestedShown, drive != "init");
    QVERIFY(IsWindowEnabled(parent));   // and enabled again afterwards
    QVERIFY(!IsWindow(nested));         // the modal dialog is gone
    QVERIFY(IsWindow(parent));
    QVERIFY(!PlatTestDialogEnded(parent));
}

void TestWindowDialogs::userMessagesAndResults_data()
{
    QTest::addColumn<bool>("handled");
    QTest::addColumn<LRESULT>("answer");
    QTest::addColumn<LRESULT>("expected");
    // A dialog procedure that handles a message answers through DWLP_MSGRESULT.
    QTest::newRow("handled") << true << LRESULT(1234) << LRESULT(1234);
    // Not handled: the default answer 0, whatever it stored.
    QTest::newRow("not handled") << false << LRESULT(1234) << LRESULT(0);
}

void TestWindowDialogs::userMessagesAndResults()
{
    QFETCH(bool, handled);
    QFETCH(LRESULT, answer);
    QFETCH(LRESULT, expected);
    gState.userHandled = handled;
    gState.userAnswer = answer;
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, AnswerProc);
    QCOMPARE(SendMessageA(dlg, WM_USER + 5, 50, 3), expected);
    // WM_USER messages reach the procedure unchanged.
    QCOMPARE(MessageLog().back().message, UINT(WM_USER + 5));
    QCOMPARE(MessageLog().back().wParam, WPARAM(50));
    QCOMPARE(MessageLog().back().lParam, LPARAM(3));
}

void TestWindowDialogs::captionAndUserData()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
    const char* caption = "衡岚微型打印机测试软件A V2.4(适用于win9x/me/2000/xp)";
    QVERIFY(SetWindowTextA(dlg, caption));
    QCOMPARE(MessageCount(WM_SETTEXT), 1); // the procedure sees it first
    QCOMPARE(PlatTestWindowText(dlg), std::string(caption));
    QCOMPARE(PlatTestWidget(dlg)->windowTitle(), QString::fromUtf8(caption));

    int record = 0;
    QCOMPARE(SetWindowLongPtrA(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&record)), LONG_PTR(0));
    QCOMPARE(GetWindowLongPtrA(dlg, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&record));
    QCOMPARE(SetWindowLongPtrA(dlg, GWLP_USERDATA, 0), reinterpret_cast<LONG_PTR>(&record));
}

void TestWindowDialogs::icon()
{
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MPTEST));
    if (!icon)
        QSKIP("the program has no icon resource yet");
    QCOMPARE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MPTEST)), icon); // shared
    QCOMPARE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(4242)), HICON(nullptr));
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
    QCOMPARE(SendMessageA(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), LRESULT(0));
    QVERIFY(!PlatTestWidget(dlg)->windowIcon().isNull());
    // WM_SETICON answers the icon it replaces.
    QCOMPARE(SendMessageA(dlg, WM_SETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(icon));
}

void TestWindowDialogs::menuCommands()
{
    if (!ResFindMenu(IDR_MENU1))
        QSKIP("the program has no menu resource yet");
    static const DlgTemplate withMenu = {9100, nullptr, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 200, 100,
                                         "Menu", IDR_MENU1, "System", 10, {}};
    PlatTestAddDialogTemplate(&withMenu);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(9100), nullptr, LoggingDlgProc);
    // A menu item is WM_COMMAND with its id, code 0, no control.
    QVERIFY(PlatTestMenuCommand(dlg, IDM_ABOUT));
    QCOMPARE(CommandCount(IDM_ABOUT, 0), 1);
    QCOMPARE(MessageLog().back().lParam, LPARAM(0));
    PlatTestExpectMiss();
    QVERIFY(!PlatTestMenuCommand(dlg, 4242));
    // The menu bar sits above the client area, which keeps the template's size.
    RECT client;
    GetClientRect(dlg, &client);
    RECT units{0, 0, 200, 100};
    MapDialogRect(dlg, &units);
    QCOMPARE(client.bottom, units.bottom);
    // A disabled window's menu does nothing (as under a modal dialog).
    EnableWindow(dlg, FALSE);
    PlatTestExpectMiss();
    QVERIFY(!PlatTestMenuCommand(dlg, IDM_ABOUT));
    QCOMPARE(CommandCount(IDM_ABOUT, 0), 1);
}

void TestWindowDialogs::childPage()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    HWND page = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kTplPage), dlg, LoggingDlgProc, 7);
    QVERIFY(page);
    QCOMPARE(GetParent(page), dlg);
    // WS_VISIBLE is not in the page's template: it waits for ShowWindow.
    QVERIFY(!PlatTestWidget(page)->isVisible());
    QVERIFY(!ShowWindow(page, SW_SHOW));
    QVERIFY(PlatTestWidget(page)->isVisible());
    QVERIFY(PlatTestWidget(page)->parentWidget()->window() == PlatTestWidget(dlg));
    // Its controls notify the page, not the dialog around it.
    MessageLog().clear();
    QVERIFY(PlatTestClick(dlg, kPageButton));
    QCOMPARE(CommandCount(kPageButton, BN_CLICKED), 1);
    QCOMPARE(MessageLog().back().window, page);
    // Moved inside its parent's client area.
    QVERIFY(SetWindowPos(page, HWND_TOP, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    QCOMPARE(PlatTestWidget(page)->pos(), QPoint(30, 40));
    // Destroying the dialog destroys its page.
    HWND button = GetDlgItem(page, kPageButton);
    QVERIFY(DestroyWindow(dlg));
    QVERIFY(!IsWindow(page));
    QVERIFY(!IsWindow(button));
}

void TestWindowDialogs::deadHandles_data()
{
    QTest::addColumn<QString>("call");
    // Every call on a destroyed window fails without touching anything.
    for (const char* c : {"GetDlgItem", "SetDlgItemTextA", "GetDlgItemTextA", "CheckDlgButton", "IsDlgButtonChecked",
                          "EnableWindow", "IsWindowEnabled", "ShowWindow", "GetWindowRect", "MoveWindow",
                          "SendMessageA", "PostMessageA", "EndDialog", "SetWindowLongPtrA", "GetParent",
                          "CreateStatusWindowA", "DestroyWindow"})
        QTest::newRow(c) << c;
}

void TestWindowDialogs::deadHandles()
{
    QFETCH(QString, call);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    HWND control = GetDlgItem(dlg, kEdit);
    QVERIFY(DestroyWindow(dlg));
    QVERIFY(!IsWindow(dlg));
    QVERIFY(!IsWindow(control));
    MessageLog().clear();
    RECT r{};
    char text[8] = "x";
    LONG_PTR result = 1;
    if (call == "GetDlgItem") result = reinterpret_cast<LONG_PTR>(GetDlgItem(dlg, kEdit));
    else if (call == "SetDlgItemTextA") result = SetDlgItemTextA(dlg, kEdit, "x");
    else if (call == "GetDlgItemTextA") { result = GetDlgItemTextA(dlg, kEdit, text, sizeof text); QCOMPARE(text[0], '\0'); }
    else if (call == "CheckDlgButton") result = CheckDlgButton(dlg, kRadioA1, BST_CHECKED);
    else if (call == "IsDlgButtonChecked") result = IsDlgButtonChecked(dlg, kRadioA1);
    else if (call == "EnableWindow") result = EnableWindow(control, TRUE);
    else if (call == "IsWindowEnabled") result = IsWindowEnabled(control);
    else if (call == "ShowWindow") result = ShowWindow(dlg, SW_SHOW);
    else if (call == "GetWindowRect") result = GetWindowRect(dlg, &r);
    else if (call == "MoveWindow") result = MoveWindow(control, 0, 0, 10, 10, TRUE);
    else if (call == "SendMessageA") result = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    else if (call == "PostMessageA") result = PostMessageA(dlg, WM_USER, 0, 0);
    else if (call == "EndDialog") result = EndDialog(dlg, 1);
    else if (call == "SetWindowLongPtrA") result = SetWindowLongPtrA(dlg, GWLP_USERDATA, 5);
    else if (call == "GetParent") result = reinterpret_cast<LONG_PTR>(GetParent(control));
    else if (call == "CreateStatusWindowA") result = reinterpret_cast<LONG_PTR>(CreateStatusWindowA(WS_CHILD, "", dlg, 1));
    else if (call == "DestroyWindow") result = DestroyWindow(dlg);
    QCOMPARE(result, LONG_PTR(0));
    QVERIFY(PlatTestWaitFor([] { return false; }, 20) == false); // let anything posted arrive
    QCOMPARE(MessageLog().size(), size_t(0));
}

void TestWindowDialogs::postMessage()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
    MessageLog().clear();
    // Posted: not there at once, delivered by the event loop.
    QVERIFY(PostMessageA(dlg, WM_USER + 1, 1, 2));
    QCOMPARE(MessageCount(WM_USER + 1), 0);
    QVERIFY(PlatTestWaitFor([] { return MessageCount(WM_USER + 1) == 1; }, 5000));
    // Posted to a window destroyed before delivery: dropped.
    QVERIFY(PostMessageA(dlg, WM_USER + 2, 0, 0));
    DestroyWindow(dlg);
    MessageLog().clear();
    PlatTestWaitFor([] { return false; }, 50);
    QCOMPARE(MessageCount(WM_USER + 2), 0);
}

void TestWindowDialogs::messageBoxes_data()
{
    QTest::addColumn<UINT>("type");
    QTest::addColumn<int>("answer"); // 0: the default
    QTest::addColumn<int>("expected");
    QTest::newRow("MB_OK error") << UINT(MB_OK | MB_ICONERROR) << 0 << IDOK;
    QTest::newRow("MB_YESNO default") << UINT(MB_YESNO | MB_ICONQUESTION) << 0 << IDYES;
    QTest::newRow("MB_YESNO answered no") << UINT(MB_YESNO) << IDNO << IDNO;
    QTest::newRow("MB_OKCANCEL answered cancel") << UINT(MB_OKCANCEL) << IDCANCEL << IDCANCEL;
}

void TestWindowDialogs::messageBoxes()
{
    QFETCH(UINT, type);
    QFETCH(int, answer);
    QFETCH(int, expected);
    PlatTestSetMessageBoxAnswer(answer);
    QCOMPARE(MessageBoxA(nullptr, "输入框为空!", "Error", type), expected);
    const auto boxes = PlatTestMessageBoxes();
    QCOMPARE(boxes.size(), size_t(1));
    QCOMPARE(boxes[0].text, std::string("输入框为空!"));
    QCOMPARE(boxes[0].caption, std::string("Error"));
    QCOMPARE(boxes[0].type, type);
    QCOMPARE(boxes[0].owner, HWND(nullptr));
    PlatTestSetMessageBoxAnswer(0);
}

void TestWindowDialogs::messageBoxFromAnotherThread()
{
    int got = 0;
    std::thread worker([&] { got = MessageBoxA(nullptr, "display hex", "display hex", MB_OK); });
    worker.join(); // recorded boxes never block, on any thread
    QCOMPARE(got, IDOK);
    QCOMPARE(PlatTestMessageBoxes().size(), size_t(1));
    QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("display hex"));
}

void TestWindowDialogs::fileChooser_data()
{
    QTest::addColumn<QString>("script"); // "file", "missing", "cancel", "none"
    QTest::addColumn<DWORD>("flags");
    QTest::addColumn<DWORD>("bufferSize");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("a file") << "file" << DWORD(OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST) << DWORD(260) << true;
    QTest::newRow("cancelled") << "cancel" << DWORD(OFN_FILEMUSTEXIST) << DWORD(260) << false;
    QTest::newRow("nothing scripted cancels") << "none" << DWORD(0) << DWORD(260) << false;
    // OFN_FILEMUSTEXIST: a missing file is never handed back.
    QTest::newRow("missing file, must exist") << "missing" << DWORD(OFN_FILEMUSTEXIST) << DWORD(260) << false;
    QTest::newRow("missing file allowed") << "missing" << DWORD(0) << DWORD(260) << true;
    // The path must fit lpstrFile with its NUL.
    QTest::newRow("buffer too small") << "file" << DWORD(0) << DWORD(8) << false;
}

void TestWindowDialogs::fileChooser()
{
    QFETCH(QString, script);
    QFETCH(DWORD, flags);
    QFETCH(DWORD, bufferSize);
    QFETCH(bool, chosen);
    QTemporaryDir dir;
    const QString file = dir.filePath("命令.bin");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const std::string path = (script == "missing" ? dir.filePath("nope.bin") : file).toStdString();
    if (script == "file" || script == "missing")
        PlatTestFileChooserAnswer(path);
    else if (script == "cancel")
        PlatTestFileChooserCancel();
    const int callsBefore = PlatTestFileChooserCalls();

    char buffer[260] = "old";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = "所有文件(*.*)\0*.*\0\0";
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = bufferSize;
    ofn.Flags = flags;
    QCOMPARE(GetOpenFileNameA(&ofn) != FALSE, chosen);
    QCOMPARE(PlatTestFileChooserCalls(), callsBefore + 1);
    if (chosen) {
        QCOMPARE(std::string(buffer), path);
        QCOMPARE(std::string(buffer + ofn.nFileOffset), path.substr(path.rfind('/') + 1));
        QCOMPARE(std::string(buffer + ofn.nFileExtension), std::string("bin"));
    }
}

void TestWindowDialogs::screenSizeAndPlacement()
{
    PlatTestSetScreenSize(1024, 768);
    QCOMPARE(GetSystemMetrics(SM_CXSCREEN), 1024);
    QCOMPARE(GetSystemMetrics(SM_CYSCREEN), 768);
    PlatTestSetScreenSize(0, 0);
    QVERIFY(GetSystemMetrics(SM_CXSCREEN) > 0);

    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
    RECT before, after;
    GetWindowRect(dlg, &before);
    // SWP_NOSIZE moves without resizing; negative positions are allowed.
    QVERIFY(SetWindowPos(dlg, HWND_TOP, -20, 35, 0, 0, SWP_NOSIZE));
    GetWindowRect(dlg, &after);
    QCOMPARE(after.left, LONG(-20));
    QCOMPARE(after.top, LONG(35));
    QCOMPARE(after.right - after.left, before.right - before.left);
    QCOMPARE(after.bottom - after.top, before.bottom - before.top);
    // MoveWindow gives the window size; the client area follows.
    QVERIFY(MoveWindow(dlg, 10, 10, 300, 200, TRUE));
    GetWindowRect(dlg, &after);
    QCOMPARE(after.right - after.left, LONG(300));
    QCOMPARE(after.bottom - after.top, LONG(200));
}

PLAT_TEST_MAIN(TestWindowDialogs)
#include "tst_window_dialogs.moc"
