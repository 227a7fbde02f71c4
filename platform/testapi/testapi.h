// The platform's test API: drives the program's real dialogs the way a user
// would (clicks, typing, keys, combo choices), reads what they show, records
// message boxes, scripts the file chooser and sets the screen size. Linked
// only into tests and tools, never into the program.
//
// Use from the user-interface thread (the test's main thread). A typical test:
//
//     PlatTestRecordMessageBoxes();
//     HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(126), nullptr, bUserCmdDlgProc, 0);
//     PlatTestType(dlg, 1197, "1B 40 0A");
//     PlatTestClick(dlg, 1199);
//     QVERIFY(PlatTestWaitFor([&] { return PlatTestStatusText(dlg, 2001, 1) == "已发送字节数 3"; }, 5000));
//     PlatTestDestroyAll();
//
// Qt Test programs end with PLAT_TEST_MAIN(TestClass) instead of QTEST_MAIN:
// it puts Qt on the offscreen platform before the QApplication exists.
//
// On Windows (platform/windows/testapi.cpp) the same calls drive the real
// system, for the tables that state what Windows does; a miss there fails
// the running GoogleTest case. Only the calls those tables use exist there.
#pragma once

#include "platform/win32.h"
#include "platform/templates.h"

#include <functional>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

#ifdef _WIN32
// The keys by the names the tables use on both systems: virtual keys, the
// keypad's Enter being Return with the extended-key flag.
namespace Qt {
enum Key : int { Key_Tab = VK_TAB, Key_Return = VK_RETURN, Key_Enter = 0x100 | VK_RETURN, Key_Escape = VK_ESCAPE,
                 Key_End = VK_END };
enum KeyboardModifier : int { NoModifier = 0 };
using KeyboardModifiers = int;
} // namespace Qt
// The tables' own procedures end dialogs through this, so that
// PlatTestDialogEnded sees it; the system's EndDialog does the rest.
BOOL PlatTestEndDialog(HWND dialog, INT_PTR result);
#define EndDialog PlatTestEndDialog
#else
#include <QApplication>
#include <QtTest/QtTest>

class QWidget;
#endif

// ---------------------------------------------------------------- dialogs
// Opens a dialog without blocking: builds it, runs WM_INITDIALOG, shows it
// and returns. Its EndDialog marks it ended (see PlatTestDialogEnded) and
// hides it; the window lives on until DestroyWindow or PlatTestDestroyAll.
// nullptr when the template does not exist.
HWND PlatTestOpenDialog(LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam = 0);
// True once EndDialog was called for `dialog` (also after it was destroyed);
// its result goes to *result.
bool PlatTestDialogEnded(HWND dialog, INT_PTR* result = nullptr);
// Destroys every window still open and forgets ended results.
void PlatTestDestroyAll();

// Called after any dialog is built, initialised and shown: the ones the test
// opens, modeless ones, and modal ones inside DialogBoxParamA (before its
// loop runs, so the hook can drive a nested modal dialog: click its buttons
// now, or schedule work with QTimer::singleShot to run inside its loop).
// A dialog ended before it showed is passed to the hook too, unshown.
// On Windows a modal dialog is passed from its own loop's first turns, once
// the system has shown and focused it. An empty function removes the hook.
using PlatTestDialogHook = std::function<void(HWND dialog)>;
void PlatTestSetDialogHook(PlatTestDialogHook hook);

// Dialog and menu templates for tests only, found before the program's own.
// The template must outlive its use.
void PlatTestAddDialogTemplate(const DlgTemplate* dialog);
void PlatTestClearDialogTemplates();

// ---------------------------------------------------------------- driving controls
// Every action is checked where it happens: when it cannot land (no such
// control or tab or command, or it is hidden, disabled or read-only) it
// fails the running test at the caller's line with a message saying why,
// and returns false. Outside a test it prints the message. To show that a
// control refuses an action, call PlatTestExpectMiss() first.
// Controls are found by ID in `dialog`, its pages searched too.
HWND PlatTestFindControl(HWND dialog, int id);
#ifndef _WIN32
QWidget* PlatTestWidget(HWND window);
// The message box showing now, or nullptr.
class QMessageBox* PlatTestShownMessageBox();
// True when the control's next change of text is drawn at once (its last
// frame is over); false for no such window.
bool PlatTestFrameOver(HWND window);
#endif
// The next action is expected to miss: it returns false without failing. If
// it lands instead, that fails the test.
void PlatTestExpectMiss();
// A real left-button mouse click in the middle of the control (on the
// indicator of radio buttons and check boxes).
bool PlatTestClick(HWND dialog, int id, std::source_location where = std::source_location::current());
// Focuses the control and types `utf8` key by key.
bool PlatTestType(HWND dialog, int id, const std::string& utf8,
                  std::source_location where = std::source_location::current());
// A key press (Qt::Key_Return, Qt::Key_Escape, ...) into the dialog's
// focused control, or the dialog itself when nothing has focus.
bool PlatTestKey(HWND dialog, int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                 std::source_location where = std::source_location::current());
// Sets focus to a control (as a click or Tab would).
bool PlatTestFocus(HWND dialog, int id, std::source_location where = std::source_location::current());
// Picks row `row` of a combo box as a user does: opens the list and clicks
// it. True when that row is selected afterwards.
bool PlatTestSelectComboRow(HWND dialog, int id, int row,
                            std::source_location where = std::source_location::current());
// Clicks tab `index` of a tab control, as a user does: the dialog gets
// TCN_SELCHANGING, then TCN_SELCHANGE. True when that tab is selected
// afterwards.
bool PlatTestSelectTab(HWND dialog, int id, int index, std::source_location where = std::source_location::current());
// The close box of the dialog's title bar.
bool PlatTestCloseBox(HWND dialog, std::source_location where = std::source_location::current());
// A menu item of the dialog's menu bar, by its command.
bool PlatTestMenuCommand(HWND dialog, int command, std::source_location where = std::source_location::current());

// ---------------------------------------------------------------- reading
std::string PlatTestText(HWND dialog, int id);       // as GetDlgItemTextA gives it
std::string PlatTestWindowText(HWND window);         // as GetWindowTextA gives it
bool PlatTestChecked(HWND dialog, int id);
// True when the control has the focus within its dialog (the focus the
// dialog gives back when it is active again).
bool PlatTestFocused(HWND dialog, int id);
bool PlatTestEnabled(HWND dialog, int id);
bool PlatTestVisible(HWND dialog, int id);
// Text of part `part` of the status bar with ID `barId` in `dialog`.
std::string PlatTestStatusText(HWND dialog, int barId, int part);
// The combo box rows.
std::vector<std::string> PlatTestComboRows(HWND dialog, int id);

// ---------------------------------------------------------------- message boxes
struct PlatTestMessageBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
// From now on message boxes are recorded, not shown, and answered with
// `answer` (0: the first button: IDOK, or IDYES for MB_YESNO). Safe from
// any thread.
void PlatTestRecordMessageBoxes(int answer = 0);
void PlatTestSetMessageBoxAnswer(int answer);
std::vector<PlatTestMessageBox> PlatTestMessageBoxes();
void PlatTestClearMessageBoxes();

// ---------------------------------------------------------------- file chooser
// The next GetOpenFileNameA and GetSaveFileNameA calls are answered from
// this script, oldest first: a path (UTF-8), or a cancel. With the script
// empty they cancel. A save still adds its default extension and asks before
// replacing a file, through the message boxes (recorded ones included).
// On Windows the system's own chooser is answered, from the user-interface
// thread's message loop: the path typed into its name box and "Open" or
// "Save" pressed; what it says about the answer (a file that is not there)
// is closed with OK, and the next answer is taken.
void PlatTestFileChooserAnswer(const std::string& path);
void PlatTestFileChooserCancel();
int PlatTestFileChooserCalls(); // how many times the chooser was asked
#ifndef _WIN32                   // the system's chooser does not say which it is
int PlatTestFileChooserSaves(); // how many of those were GetSaveFileNameA's
#endif

// ---------------------------------------------------------------- the real boxes and chooser
// For the tests of message boxes and the file chooser themselves, which
// nothing records or scripts.
// A message box on the screen now, raised by any thread: what it says, and
// the window it shows over.
struct PlatTestBoxOnScreen {
    std::string text, caption;
    bool owned;      // it shows over some window
    bool overDialog; // over the window of the dialog asked about
};
std::optional<PlatTestBoxOnScreen> PlatTestBoxShowing(HWND dialog = nullptr);
// Presses OK on the box showing now; false when none shows.
bool PlatTestAnswerBoxShowing();
// A click on a dialog's control as the window system delivers one: a modal
// window holds it back. On Windows it is queued for the control's thread,
// and lands when that thread next takes its input.
void PlatTestSystemClick(HWND dialog, int id);

// The file chooser while it shows: Qt's here, the system's on Windows.
struct PlatTestChooser {
    std::vector<std::string> filters() const; // the descriptions its type list offers
    std::vector<std::string> listed() const;  // the names it lists in its folder now, sorted
    void choose(const std::string& name);     // types a name, then "Open" (or "Save")
    void cancel();
#ifdef _WIN32
    HWND window;
#else
    class QFileDialog* dialog;
#endif
};
// Runs `ask` (GetOpenFileNameA, GetSaveFileNameA) on `ofn` and, once its
// chooser shows, hands it to `look`, which chooses or cancels. The chooser
// runs a loop of its own: it is looked at from there, and closed after 10 s
// so a test that left it open fails instead of hanging. False when the
// chooser never showed.
bool PlatTestWithChooser(OPENFILENAMEA& ofn, BOOL& chosen, const std::function<void(PlatTestChooser&)>& look,
                         BOOL (*ask)(LPOPENFILENAMEA) = GetOpenFileNameA);

// What the dialog's title bar shows: its caption, and whether an icon.
std::string PlatTestTitleBarText(HWND dialog);
bool PlatTestTitleBarHasIcon(HWND dialog);

// ---------------------------------------------------------------- screen, waiting
// GetSystemMetrics(SM_CXSCREEN/SM_CYSCREEN) give this; 0, 0 go back to the screen's.
void PlatTestSetScreenSize(int width, int height);
// Processes events (and the messages worker threads are waiting on) until
// `done` is true or `timeoutMs` has passed. Returns `done()`'s last answer.
bool PlatTestWaitFor(const std::function<bool()>& done, int timeoutMs);
// Runs the thread's own event loop, as a program's main loop does (not
// PlatTestWaitFor, which delivers other threads' messages first), until
// `done`, asked at least every millisecond or so.
void PlatTestRunEventLoopUntil(const std::function<bool()>& done);
// Runs `f` every `ms` milliseconds from this thread's message loops (a modal
// one too) while it lives.
class PlatTestRepeat {
public:
    PlatTestRepeat(int ms, std::function<void()> f);
    ~PlatTestRepeat();
    PlatTestRepeat(const PlatTestRepeat&) = delete;
    PlatTestRepeat& operator=(const PlatTestRepeat&) = delete;

private:
    std::function<void()> f_;
#ifdef _WIN32
    UINT_PTR timer_ = 0;
#else
    class QTimer* timer_ = nullptr;
#endif
};
// How many messages from other threads wait for the user-interface thread
// (Windows tells only whether any do: 1 or 0).
int PlatTestPendingSends();

#ifndef _WIN32
// Sets QT_QPA_PLATFORM=offscreen (CTest runs without our environment), then
// makes the QApplication and runs the Qt Test class.
void PlatTestPrepareEnvironment();
// PLAT_TEST_MAIN_WITH runs `setup()` first (the program's tests register its
// resources there).
#define PLAT_TEST_MAIN(TestClass) PLAT_TEST_MAIN_WITH(TestClass, [] {})
#define PLAT_TEST_MAIN_WITH(TestClass, setup)                                                                          \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        setup();                                                                                                       \
        PlatTestPrepareEnvironment();                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
#endif
