// Inside of the window layer on Qt Widgets: the window registry, the record of
// one window, the control families, and the hooks the test API sets. Only platform/qt and
// platform/testapi include this header; the program sees platform/win32.h alone.
#pragma once

#include "platform/win32.h"
#include "platform/templates.h"

#include <QRegion>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <string>
#include <vector>

class QWidget;
class QEventLoop;

// What a window is. A control's family answers its messages; the kind tells
// the members of a family apart (Enter looks for push buttons, a click aims at
// the indicator of radio buttons and check boxes, ...).
enum class PlatKind {
    Dialog,
    PushButton,
    RadioButton,
    CheckBox,
    GroupBox,
    Static,
    Edit,
    MultiEdit,
    Combo,
    StatusBar,
    Tab,
};

struct PlatWindow;

// A family of controls (buttons, edits, combo boxes, statics, status bars,
// tabs), each in a file of its own: how it is made from a template row, how
// it gives and takes its text, and the messages it answers. Its own state
// lives in its widget.
struct PlatQtFamily {
    // Makes the widget, sets w->kind. The common code then places it, sets
    // its focus policy from WS_TABSTOP, its state from WS_DISABLED and
    // WS_VISIBLE, and calls placed().
    QWidget* (*create)(PlatWindow* w, const DlgItemTemplate& item, QWidget* parent);
    // Afterwards: what the family does differently (its own height, no
    // focus, ...); may be null.
    void (*placed)(PlatWindow* w);
    std::string (*text)(PlatWindow* w);
    // Shows a text the program set; never notifies.
    void (*setText)(PlatWindow* w, const char* text);
    // Every message sent to the control; what the family does not answer
    // goes to PlatQtTextMessage.
    LRESULT (*message)(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam);
};
extern const PlatQtFamily kPlatQtButtons;    // buttons.cpp: push, radio, check, group box
extern const PlatQtFamily kPlatQtEdits;      // edits.cpp: single- and multi-line
extern const PlatQtFamily kPlatQtCombos;     // combos.cpp: drop-down lists
extern const PlatQtFamily kPlatQtStatics;    // statics.cpp: text, icon, bitmap; unknown classes
extern const PlatQtFamily kPlatQtStatusBars; // statusbar.cpp
extern const PlatQtFamily kPlatQtTabs;       // tabs.cpp

// What only a dialog has.
struct PlatDialog {
    DLGPROC proc = nullptr;
    LONG_PTR msgResult = 0;
    int baseX = 8, baseY = 16; // dialog base units of the dialog font
    bool ended = false;
    INT_PTR result = 0;
    QEventLoop* loop = nullptr; // the modal loop while DialogBoxParamA runs
    HICON bigIcon = nullptr, smallIcon = nullptr;
};

// One window. Lives on the user-interface thread; only that thread reads or
// changes it. Other threads see windows only through their handles.
struct PlatWindow {
    HWND handle = nullptr;
    PlatKind kind = PlatKind::Static;
    DWORD style = 0;
    int id = 0;
    HWND parent = nullptr; // dialog of a control; owner or parent of a dialog
    QWidget* widget = nullptr; // the window itself
    QWidget* client = nullptr; // where children go (the area below a menu bar)
    LONG_PTR userData = 0;
    WNDPROC subclass = nullptr; // a program's procedure in front of the control (GWLP_WNDPROC)
    std::unique_ptr<PlatDialog> dialog;   // dialogs only
    const PlatQtFamily* family = nullptr; // controls only

    // A text the program set that the screen has not shown yet (at most one
    // frame later); reads give it at once.
    std::optional<std::string> pendingText;
    std::chrono::steady_clock::time_point shownAt{}; // the last time the screen caught up
    bool frameQueued = false;
    // What the next show paints: the whole widget, or only these changed parts.
    bool showWhole = false;
    QRegion showArea;

    // True while the layer itself changes the control, so the change is not
    // reported as the user's.
    bool quiet = false;
};

// The registry lock (registry.cpp): guards the window map against other
// threads' lookups, and the queue of calls other threads wait on
// (crossthread.cpp).
// Lock order: an event's or a thread's mutex first, then this lock. Setting
// an event or ending a thread wakes a MsgWaitForMultipleObjects that watches
// it by taking this lock while the event's or thread's mutex is held. So
// nothing may set an event, end a thread or start or stop watching one
// (plat::HandleWatch) while it holds this lock: a SetEvent under it would
// deadlock against a thread setting that event at the same time.
extern std::mutex gPlatQtLock;

// The record of a live window, or nullptr. User-interface thread only.
PlatWindow* PlatQtFind(HWND window);
// Every live window whose parent is `parent`, in creation order.
std::vector<HWND> PlatQtChildren(HWND parent);
// Every live dialog whose owner or parent is `window`.
std::vector<HWND> PlatQtOwnedDialogs(HWND window);
// The handle of the window a widget belongs to, or nullptr.
HWND PlatQtHandleOf(const QWidget* widget);
// Creates the QApplication when nobody has yet; the calling thread becomes the
// user-interface thread (startup.cpp).
void PlatQtEnsureApp();
// The calling thread is the user-interface thread from now on; PlatQtEnsureApp
// calls it once.
void PlatQtSetUiThread();
// Loads Qt's own Chinese texts (startup.cpp); PlatQtEnsureApp calls it once,
// on the user-interface thread.
void PlatQtSpeakChinese();
bool PlatQtOnUiThread();
// True once the user-interface thread is known (PlatQtEnsureApp ran on it).
bool PlatQtUiReady();
// Whether a window is registered; gPlatQtLock held, any thread.
bool PlatQtIsWindowLocked(HWND window);

// Makes the object that receives the wake-ups for the user-interface
// thread; PlatQtEnsureApp calls it once, on that thread.
void PlatQtStartPump();
// Ends every call queued for `window`: each caller gets 0. gPlatQtLock held.
void PlatQtAbandonSendsLocked(HWND window);

// Delivers the messages other threads are waiting on. Returns how many ran.
int PlatQtDeliverSends();
int PlatQtPendingSends();

// Hooks for the test API; empty functions mean the ordinary behaviour.
struct PlatQtHooks {
    std::function<const DlgTemplate*(LPCSTR name)> findDialog;
    std::function<void(HWND dialog)> dialogCreated;
    std::function<void(HWND dialog, INT_PTR result)> dialogEnded;
    // Returns false for a cancelled choice; otherwise fills path (UTF-8).
    // `save`: asked by GetSaveFileNameA.
    std::function<bool(const OPENFILENAMEA& ofn, bool save, std::string& path)> fileChooser;
    int screenWidth = 0, screenHeight = 0; // 0: the primary screen's
};
PlatQtHooks& PlatQtTestHooks();

// Builds a dialog from a template and sends WM_INITDIALOG. Shows it when
// `show` or when the template asks for WS_VISIBLE. nullptr when it fails.
HWND PlatQtCreateDialog(const DlgTemplate* tpl, HWND parent, DLGPROC proc, LPARAM param, bool show);
const DlgTemplate* PlatQtFindDialogTemplate(LPCSTR name);

// Registers a new window record and gives it its handle.
HWND PlatQtRegister(std::unique_ptr<PlatWindow> record);
// Forgets a window: its handle turns invalid at once and every other thread
// waiting on a message to it gets 0. Returns the record for the caller to tear down.
std::unique_ptr<PlatWindow> PlatQtUnregister(HWND window);

// Runs fn(ctx) on the user-interface thread and waits for it. On that thread
// it runs at once. Returns false, without running it, when `target` is not
// null and is (or becomes, before its turn) no window.
bool PlatQtRunOnUi(HWND target, void (*fn)(void*), void* ctx);
template <typename F> bool PlatQtOnUi(HWND target, F&& f)
{
    return PlatQtRunOnUi(target, [](void* c) { (*static_cast<std::remove_reference_t<F>*>(c))(); }, &f);
}

// Message handling on the user-interface thread.
LRESULT PlatQtDispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT PlatQtDialogMessage(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT PlatQtControlMessage(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam);
// A control's own window procedure, the one a program's procedure put in
// front of it (GWLP_WNDPROC) passes messages on to. A key passed on to it
// gets its default action.
LRESULT CALLBACK PlatQtControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Offers a key (VK_*) to the program's procedure in front of the control;
// true when the key is to have its default action.
bool PlatQtOfferKey(PlatWindow* w, WPARAM vk);
// WM_SETTEXT, WM_GETTEXT and WM_GETTEXTLENGTH as every control answers them; 0 for others.
LRESULT PlatQtTextMessage(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam);
// Tells a control's dialog about it: WM_COMMAND with the control's id and `code`.
void PlatQtNotify(HWND control, WORD code);

// Controls from a template row, inside `dialog`.
HWND PlatQtCreateControl(PlatWindow* dialog, const DlgItemTemplate& item);
// Puts a status bar along the bottom of its parent.
void PlatQtPlaceStatusBar(PlatWindow* bar);

// Text of a window as the "A" functions give it (UTF-8; CR LF line breaks
// in multi-line edits), and setting it without notifications. A control's
// new text is stored at once and drawn within a frame (see PlatQtShowSoon).
std::string PlatQtGetText(PlatWindow* w);
void PlatQtSetText(PlatWindow* w, const char* text);

// A control the program changed gets to the screen at most once per frame
// (about 60 times a second), however fast reports change it: the first change
// after a quiet frame at once, later ones when the frame is over.
void PlatQtShowSoon(PlatWindow* w);
// The same when only `area` of it changed (a status bar's part): that much
// is painted again, unless the whole is due anyway.
void PlatQtShowSoon(PlatWindow* w, const QRect& area);
// True when a change made now would be drawn at once: no frame is pending
// and the last one is over.
bool PlatQtFrameOver(const PlatWindow* w);
// Shows a pending text now: before the user or another message works on the control.
void PlatQtShowPendingText(PlatWindow* w);
// Whether a Qt event of this type is the user working on a control's text.
bool PlatQtTouchesText(int eventType);

// Dialog units to pixels with the dialog's base units: x * baseX / 4 and
// y * baseY / 8, rounded as Windows' MulDiv (halves away from zero).
int PlatQtMulDiv(int number, int numerator, int denominator);
int PlatQtUnitsX(const PlatDialog& dialog, int x);
int PlatQtUnitsY(const PlatDialog& dialog, int y);

// Copies UTF-8 text into a buffer of `size` bytes, NUL-terminated, never
// cutting a character in two. Returns the bytes copied without the NUL.
int PlatQtCopyText(const std::string& text, char* buffer, int size);

// Dialog base units of a font (average width of A..Za..z, height).
void PlatQtBaseUnits(const class QFont& font, int& baseX, int& baseY);
class QPixmap;
// A picture resource as a pixmap; a null pixmap when there is none.
QPixmap PlatQtImage(ResImageKind kind, int id);

// The strip of tabs of a tab control; nullptr for other windows.
class QTabBar;
QTabBar* PlatQtTabBar(PlatWindow* w);

// Message boxes raised by worker threads are not modal: like an ownerless box
// on Windows they hold only the thread that asked. True while one is open.
bool PlatQtWorkerBoxesOpen();
// Runs this thread's events until `deadline` or the first batch of events,
// with input going only to those boxes: how a wait on the user-interface
// thread (MsgWaitForMultipleObjects) lets them be answered. Other windows get
// no input meanwhile; messages posted to them wait until the wait is over.
void PlatQtServeWorkerBoxes(std::chrono::steady_clock::time_point deadline);
// True while PlatQtServeWorkerBoxes runs.
bool PlatQtServingWorkerBoxes();

// Destroys a window and everything in it.
BOOL PlatQtDestroy(HWND window);
