// The window layer's dialogs against what Windows does: templates,
// WM_INITDIALOG, modal loops nested and ended, menus, child pages, dead
// handles and the file chooser. (Recorded message boxes: the program's
// tests check their text, caption, owner and icon, from workers too.)
#include "res/resources.h"
#include "ui/support/window_fixture.h"

#include "res/resource.h"
#include "send/files.h"

#ifndef _WIN32
#include <QTimer>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>

namespace {

// State of the dialog procedures below, reset by init().
struct ProcState {
    INT_PTR nestedResult = 0;
    bool controlsAtInit = false;
    LPARAM initParam = 0;
    bool endInInit = false;
    LRESULT userAnswer = 0;
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

// Its "Open" button runs NestedProc modally (its template found by name, as
// the main window's is) and keeps the result. It stores an answer to
// WM_USER + 5 in DWLP_MSGRESULT but says it did not handle the message.
INT_PTR CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageLog().push_back({window, message, wParam, lParam});
    if (message == WM_USER + 5) {
        SetWindowLongPtrA(window, DWLP_MSGRESULT, gState.userAnswer);
        return FALSE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kPush) {
        gState.nestedResult =
            DialogBoxParamA(GetModuleHandleA(nullptr), "SMALL_DIALOG", window, NestedProc, 0x5150);
        return TRUE;
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
    }

    void missingTemplate()
    {
        // Windows: DialogBoxParam gives -1 and ERROR_RESOURCE_NAME_NOT_FOUND,
        // CreateDialogParam and FindResource NULL with the same error; a
        // template asked for as another resource type is not found either.
        for (LPCSTR tpl : std::initializer_list<LPCSTR>{MAKEINTRESOURCEA(4242), "NO_SUCH_DIALOG"}) {
            SetLastError(0);
            QCOMPARE(DialogBoxParamA(GetModuleHandleA(nullptr), tpl, nullptr, LoggingDlgProc, 0), INT_PTR(-1));
            QCOMPARE(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
            SetLastError(0);
            QCOMPARE(CreateDialogParamA(GetModuleHandleA(nullptr), tpl, nullptr, LoggingDlgProc, 0), HWND(nullptr));
            QCOMPARE(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
            SetLastError(0);
            QCOMPARE(FindResourceA(nullptr, tpl, RT_DIALOG), HRSRC(nullptr));
            QCOMPARE(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
            QCOMPARE(PlatTestOpenDialog(tpl, nullptr, LoggingDlgProc), HWND(nullptr));
            QCOMPARE(MessageLog().size(), size_t(0)); // no procedure ran
        }
        SetLastError(0);
        QCOMPARE(FindResourceA(nullptr, MAKEINTRESOURCEA(kTplPage), MAKEINTRESOURCEA(2)), HRSRC(nullptr));
        QCOMPARE(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    }

    void nestedModal()
    {
        enum Drive { FromHook, InsideLoop, Escape, EndInInit };
        struct Case {
            const char* name;
            Drive drive;
            INT_PTR result;
        };
        const Case cases[] = {
            // The hook clicks the default button before the nested loop runs,
            // or schedules the click to run inside it.
            {"clicked from the hook", FromHook, kDefPush},
            {"clicked inside the loop", InsideLoop, kDefPush},
            // Escape: IDCANCEL to its procedure, which ends it.
            {"Escape", Escape, IDCANCEL},
            // EndDialog during WM_INITDIALOG: never shown, the result comes back at once.
            {"ended in WM_INITDIALOG", EndInInit, 99},
        };
        for (const Case& c : cases) {
            RowTrace trace{c.name};
            PlatTestSetDialogHook({});
            PlatTestDestroyAll();
            gState = ProcState{};
            gState.endInInit = c.drive == EndInInit;
            HWND parent = OpenTestDialog(kTplSmall, ParentProc);
            HWND nested = nullptr;
            bool nestedShown = false, focusOnFirstStop = false;
            std::string caption;
            PlatTestSetDialogHook([&](HWND dialog) {
                nested = dialog;
                nestedShown = IsWindowVisible(dialog);
                caption = PlatTestWindowText(dialog);
                focusOnFirstStop = PlatTestFocused(dialog, kPush);
                if (c.drive == FromHook)
                    PlatTestClick(dialog, kDefPush);
                else if (c.drive == InsideLoop)
                    QTimer::singleShot(0, [dialog] { PlatTestClick(dialog, kDefPush); });
                else if (c.drive == Escape)
                    QTimer::singleShot(0, [dialog] { PlatTestKey(dialog, Qt::Key_Escape); });
            });

            // The click returns when the nested modal loop has ended.
            QVERIFY(PlatTestClick(parent, kPush));
            QCOMPARE(gState.nestedResult, c.result);
            QCOMPARE(caption, std::string("Small"));
            // WM_INITDIALOG comes first, with the init parameter, when the
            // controls exist; it returned TRUE, so the first WS_TABSTOP
            // control has the focus.
            const auto first = std::find_if(MessageLog().begin(), MessageLog().end(),
                                            [&](const LoggedMessage& m) { return m.window == nested; });
            QVERIFY(first != MessageLog().end() && first->message == WM_INITDIALOG);
            QCOMPARE(gState.initParam, LPARAM(0x5150));
            QVERIFY(gState.controlsAtInit);
            QVERIFY(focusOnFirstStop);
            QCOMPARE(nestedShown, c.drive != EndInInit);
            QVERIFY(!IsWindow(nested));       // the modal dialog is gone
            QVERIFY(IsWindow(parent));
            QVERIFY(!PlatTestDialogEnded(parent));
        }
    }

    void unhandledMessagesAnswerZero()
    {
        // A dialog procedure that handles a message answers through
        // DWLP_MSGRESULT (tst_window_threads); one that does not gives the
        // default 0, whatever it stored.
        gState.userAnswer = 1234;
        HWND dlg = OpenTestDialog(kTplSmall, ParentProc);
        QCOMPARE(SendMessageA(dlg, WM_USER + 5, 50, 3), LRESULT(0));
        QCOMPARE(MessageLog().back().message, UINT(WM_USER + 5));
    }

    void captionAndIcon()
    {
        HWND dlg = OpenTestDialog(kTplSmall);
        const char* caption = "衡岚微型打印机测试软件A V2.4(适用于win9x/me/2000/xp)";
        QVERIFY(SetWindowTextA(dlg, caption)); // read back: tst_app; here, what the title bar shows
        QCOMPARE(PlatTestTitleBarText(dlg), std::string(caption));
        // WM_SETICON answers the icon it replaces.
        HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MPTEST));
        QVERIFY(icon);
        QCOMPARE(SendMessageA(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), LRESULT(0));
        QVERIFY(PlatTestTitleBarHasIcon(dlg));
        QCOMPARE(SendMessageA(dlg, WM_SETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(icon));
    }

    void menuCommands()
    {
        static const DlgTemplate withMenu = {9100, nullptr, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, 0, 120,
                                             40, "Menu", IDR_MENU1, "System", 10, {}};
        PlatTestAddDialogTemplate(&withMenu);
        HWND dlg = OpenTestDialog(9100);
        // A menu item is WM_COMMAND with its id, code 0, no control.
        QVERIFY(PlatTestMenuCommand(dlg, IDM_ABOUT));
        QCOMPARE(CommandCount(IDM_ABOUT, 0), 1);
        QCOMPARE(MessageLog().back().lParam, LPARAM(0));
        PlatTestExpectMiss();
        QVERIFY(!PlatTestMenuCommand(dlg, 4242));
        // A disabled window's menu does nothing (as under a modal dialog).
        EnableWindow(dlg, FALSE);
        PlatTestExpectMiss();
        QVERIFY(!PlatTestMenuCommand(dlg, IDM_ABOUT));
        QCOMPARE(CommandCount(IDM_ABOUT, 0), 1);
        // The menu bar sits above the client area, which keeps the template's
        // size: that of the small dialog, of the same size without a menu.
        RECT client, plain;
        GetClientRect(dlg, &client);
        GetClientRect(OpenTestDialog(kTplSmall), &plain);
        QCOMPARE(client.right, plain.right);
        QCOMPARE(client.bottom, plain.bottom);
        QVERIFY(client.bottom > 50);
    }

    void childPage()
    {
        // Built from a locked template, as the tab pages are.
        HWND dlg = OpenTestDialog(kTplControls);
        auto tpl = static_cast<LPCDLGTEMPLATEA>(
            LockResource(LoadResource(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(kTplPage), RT_DIALOG))));
        MessageLog().clear();
        HWND page = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), tpl, dlg, LoggingDlgProc, 42);
        QCOMPARE(GetParent(page), dlg);
        // (Windows tells the dialog of its new child first, with WM_PARENTNOTIFY.)
        const auto first = std::find_if(MessageLog().begin(), MessageLog().end(),
                                        [&](const LoggedMessage& m) { return m.window == page; });
        QVERIFY(first != MessageLog().end());
        QCOMPARE(first->message, UINT(WM_INITDIALOG));
        QCOMPARE(first->lParam, LPARAM(42));
        // No template: nothing is made.
        QVERIFY(!CreateDialogIndirectParamA(GetModuleHandleA(nullptr), nullptr, dlg, LoggingDlgProc, 0));
        // WS_VISIBLE is not in the page's template: it waits for ShowWindow.
        QVERIFY(!IsWindowVisible(page));
        QVERIFY(!ShowWindow(page, SW_SHOW));
        QVERIFY(IsWindowVisible(page));
#ifndef _WIN32 // our layer's own: the page's widget sits in the dialog's window
        QVERIFY(PlatTestWidget(page)->parentWidget()->window() == PlatTestWidget(dlg));
#endif
        // Destroying the dialog destroys its page.
        HWND button = GetDlgItem(page, kPageButton);
        QVERIFY(DestroyWindow(dlg));
        QVERIFY(!IsWindow(page));
        QVERIFY(!IsWindow(button));
    }

    void deadHandles()
    {
        HWND dlg = OpenTestDialog(kTplControls);
        HWND control = GetDlgItem(dlg, kEdit);
        // A message posted before the window goes is dropped with it.
        QVERIFY(PostMessageA(dlg, WM_USER + 2, 0, 0));
        QVERIFY(DestroyWindow(dlg));
        QVERIFY(!IsWindow(dlg));
        QVERIFY(!IsWindow(control));
        MessageLog().clear();
        // Every call on a destroyed window fails without touching anything.
        RECT r{};
        char text[8] = "x";
        const std::pair<const char*, std::function<LONG_PTR()>> calls[] = {
            {"GetDlgItem", [&] { return LONG_PTR(GetDlgItem(dlg, kEdit)); }},
            {"SetDlgItemTextA", [&] { return SetDlgItemTextA(dlg, kEdit, "x"); }},
            {"GetDlgItemTextA", [&] { return GetDlgItemTextA(dlg, kEdit, text, sizeof text) + (text[0] != '\0'); }},
            {"IsDlgButtonChecked", [&] { return IsDlgButtonChecked(dlg, kRadioA1); }},
            {"EnableWindow", [&] { return EnableWindow(control, TRUE); }},
            {"IsWindowEnabled", [&] { return IsWindowEnabled(control); }},
            {"ShowWindow", [&] { return ShowWindow(dlg, SW_SHOW); }},
            {"GetWindowRect", [&] { return GetWindowRect(dlg, &r); }},
            {"MoveWindow", [&] { return MoveWindow(control, 0, 0, 10, 10, TRUE); }},
            {"SendMessageA", [&] { return SendMessageA(control, WM_GETTEXTLENGTH, 0, 0); }},
            {"PostMessageA", [&] { return PostMessageA(dlg, WM_USER, 0, 0); }},
            {"EndDialog", [&] { return EndDialog(dlg, 1); }},
            {"SetWindowLongPtrA", [&] { return SetWindowLongPtrA(dlg, GWLP_USERDATA, 5); }},
            {"GetParent", [&] { return LONG_PTR(GetParent(control)); }},
            {"CreateStatusWindowA", [&] { return LONG_PTR(CreateStatusWindowA(WS_CHILD, "", dlg, 1)); }},
        };
        for (const auto& [name, call] : calls) {
            RowTrace trace{name};
            QCOMPARE(call(), LONG_PTR(0));
        }
        // CheckDlgButton only sends BM_SETCHECK: it answers TRUE all the same.
        QVERIFY(CheckDlgButton(dlg, kRadioA1, BST_CHECKED));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(0);
        QVERIFY(!DestroyWindow(dlg));
        if (!WineDiffers("Wine's DestroyWindow of a window already gone says ERROR_ACCESS_DENIED"))
            QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        // Posted messages come in order: once one posted now to a live window
        // has come, the dead one's would have too.
        HWND witness = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
        QVERIFY(PostMessageA(witness, WM_USER + 9, 0, 0));
        QVERIFY(PlatTestWaitFor([] { return MessageCount(WM_USER + 9) == 1; }, 5000));
        QVERIFY(std::all_of(MessageLog().begin(), MessageLog().end(), [&](auto& m) { return m.window == witness; }));
    }

    void fileChooser()
    {
        // The program asks with OFN_FILEMUSTEXIST, so a missing file is never
        // handed back; nothing scripted is a cancel. (A file chosen comes
        // back whole: the consoles' tests.)
        const std::filesystem::path missing = std::filesystem::temp_directory_path() / "mptest-no-such-file.bin";
        std::filesystem::remove(missing);
        for (const char* name : {"a missing file", static_cast<const char*>(nullptr)}) {
            RowTrace trace{name ? name : "nothing scripted"};
            if (name)
                PlatTestFileChooserAnswer(missing.string());
            const int callsBefore = PlatTestFileChooserCalls();
            char path[260] = "old";
            SelectFileName(nullptr, "所有文件(*.*)\0*.*\0\0", path);
            QCOMPARE(std::string(path), std::string());
            QCOMPARE(PlatTestFileChooserCalls(), callsBefore + 1);
        }
    }
};

#ifdef _WIN32
WINDOW_TABLES_RUN(TestWindowDialogs)
{
    RUN_TABLE(missingTemplate);
    RUN_TABLE(nestedModal);
    RUN_TABLE(unhandledMessagesAnswerZero);
    RUN_TABLE(captionAndIcon);
    RUN_TABLE(menuCommands);
    RUN_TABLE(childPage);
    RUN_TABLE(deadHandles);
    RUN_TABLE(fileChooser);
}
#else
PLAT_TEST_MAIN_WITH(TestWindowDialogs, ResRegister)
#include "tst_window_dialogs.moc"
#endif
