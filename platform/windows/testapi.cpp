// The test API on the real system, for the tables that state what Windows
// does: a click is BM_CLICK, keys and characters are posted as the keyboard
// posts them and pass through IsDialogMessage, as in a modeless dialog's
// message loop, and a miss fails the running GoogleTest case. Dialogs that
// come up inside the system's own modal loops (DialogBoxParamA, the file
// chooser) are watched for with a CBT hook and looked at from those loops.
#include "platform/testapi/shared.h"
#include "platform/windows/win.h"

#include <dlgs.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#undef EndDialog

namespace {

struct TestState {
    std::vector<const DlgTemplate*> templates;
    PlatResourceFinders program; // the finders the program registered
    PlatTestDialogHook hook;
    bool chooserScripted = false;
    std::vector<HWND> coming;  // dialogs made while watching, not looked at yet
    std::set<HWND> answered;   // file choosers given an answer already
    UINT_PTR lookTimer = 0;
};

TestState& State()
{
    static TestState state;
    return state;
}

bool IsClass(HWND window, const char* cls)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, cls) == 0;
}

std::string TextOf(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return PlatNarrow(text);
}

// The system's file chooser: a dialog with a file name box and "Open" (or "Save").
HWND ChooserNameBox(HWND dialog)
{
    HWND box = GetDlgItem(dialog, cmb13); // the explorer-style chooser's
    return box ? box : GetDlgItem(dialog, edt1);
}

bool IsChooser(HWND dialog)
{
    return dialog && IsClass(dialog, "#32770") && ChooserNameBox(dialog) && GetDlgItem(dialog, IDOK);
}

void Press(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Answers a chooser from the script: the path typed, then "Open"; nothing
// scripted is "Cancel".
void AnswerChooser(HWND chooser)
{
    if (State().answered.insert(chooser).second)
        PlatTestCountChooserCall(false);
    const std::optional<std::string> next = PlatTestNextChooserAnswer();
    if (!next)
        return Press(chooser, IDCANCEL);
    SetWindowTextW(ChooserNameBox(chooser), PlatWide(*next).c_str());
    Press(chooser, IDOK);
}

void CALLBACK LookAtShownDialogs(HWND, UINT, UINT_PTR, DWORD);

// To be looked at once it shows and takes input.
void Expect(HWND dialog)
{
    State().coming.push_back(dialog);
    if (!State().lookTimer)
        State().lookTimer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, LookAtShownDialogs);
}

// A dialog made while watching, now shown (or going without having shown).
void Look(HWND dialog)
{
    if (State().chooserScripted) {
        if (IsChooser(dialog))
            return AnswerChooser(dialog);
        if (HWND chooser = GetWindow(dialog, GW_OWNER); IsChooser(chooser)) {
            // What the chooser says about the answer: OK, and it takes the next.
            Press(dialog, IDOK);
            return Expect(chooser);
        }
    }
    if (State().hook)
        State().hook(dialog);
}

// From the message loop running now (a modal one too): the dialogs that have
// come up since the last look, once they show and take input.
void CALLBACK LookAtShownDialogs(HWND, UINT, UINT_PTR, DWORD)
{
    std::vector<HWND> ready;
    std::vector<HWND>& coming = State().coming;
    for (auto it = coming.begin(); it != coming.end();) {
        if (IsWindow(*it) && !(IsWindowVisible(*it) && IsWindowEnabled(*it))) {
            ++it;
            continue;
        }
        if (IsWindow(*it))
            ready.push_back(*it);
        it = coming.erase(it);
    }
    if (coming.empty() && State().lookTimer) {
        KillTimer(nullptr, State().lookTimer);
        State().lookTimer = 0;
    }
    for (HWND dialog : ready) // a look may run a modal loop, and this timer in it
        if (IsWindow(dialog))
            Look(dialog);
}

bool Watching()
{
    return State().hook || State().chooserScripted;
}

LRESULT CALLBACK WatchDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    const auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && Watching() && IsClass(window, "#32770"))
        Expect(window);
    else if (code == HCBT_DESTROYWND) {
        State().answered.erase(window);
        // Ended before its loop showed it: looked at as it goes.
        if (auto it = std::find(State().coming.begin(), State().coming.end(), window); it != State().coming.end()) {
            State().coming.erase(it);
            Look(window);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The test templates are found before the program's own; dialogs are
// watched for on this (the user-interface) thread.
void Install()
{
    static bool done = false;
    if (std::exchange(done, true))
        return;
    SetWindowsHookExW(WH_CBT, WatchDialogs, nullptr, GetCurrentThreadId());
    State().program = PlatCurrentResourceFinders();
    PlatResourceFinders finders = State().program;
    finders.dialog = [](LPCSTR name) -> const DlgTemplate* {
        for (const DlgTemplate* t : State().templates)
            if (name && PlatTestSameName(name, t))
                return t;
        return State().program.dialog ? State().program.dialog(name) : nullptr;
    };
    PlatSetResourceFinders(finders);
}

// Every message waiting for this thread, through the dialog manager.
void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root && IsDialogMessageW(root, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string Unusable(HWND dialog, int id, HWND control)
{
    if (!IsWindow(dialog))
        return "no dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog));
    if (!control)
        return "no control " + std::to_string(id) + " in " + PlatTestDescribe(dialog);
    if (!IsWindowVisible(control))
        return "control " + std::to_string(id) + " in " + PlatTestDescribe(dialog) + " is hidden";
    if (!IsWindowEnabled(control) || !IsWindowEnabled(GetAncestor(control, GA_ROOT)))
        return "control " + std::to_string(id) + " in " + PlatTestDescribe(dialog) + " is disabled";
    return {};
}

// A key press and release as the keyboard posts them.
void PostKey(HWND target, int key)
{
    const UINT vk = key & 0xFF;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    const LPARAM extended = (key & 0x100) ? LPARAM(1) << 24 : 0;
    PostMessageW(target, WM_KEYDOWN, vk, 1 | scan | extended);
    PostMessageW(target, WM_KEYUP, vk, 1 | scan | extended | (LPARAM(3) << 30));
    Pump();
}

} // namespace

// Through the dialog manager, so that a push button becomes the default.
std::string PlatTestFocusControl(HWND dialog, int id)
{
    HWND control = PlatTestFindControl(dialog, id);
    if (std::string why = Unusable(dialog, id, control); !why.empty())
        return why;
    if (GetFocus() == control && IsClass(control, "Edit"))
        return {}; // focusing it again would select its whole text
    SetForegroundWindow(GetAncestor(control, GA_ROOT));
    SendMessageW(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    Pump();
    return {};
}

void PlatTestReport(const std::source_location& where, const std::string& message)
{
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << message;
}

BOOL PlatTestEndDialog(HWND dialog, INT_PTR result)
{
    const BOOL ok = EndDialog(dialog, result);
    if (ok)
        PlatTestEndedDialogs()[dialog] = result;
    return ok;
}

HWND PlatTestOpenDialog(LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam)
{
    Install();
    HWND dialog = CreateDialogParamA(GetModuleHandleW(nullptr), templateName, owner, proc, initParam);
    if (dialog) {
        std::erase(State().coming, dialog); // the hook sees it here, shown
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
        Pump();
        if (State().hook)
            State().hook(dialog);
    }
    return dialog;
}

void PlatTestSetDialogHook(PlatTestDialogHook hook)
{
    Install();
    State().hook = std::move(hook);
}

void PlatTestScriptChooser()
{
    Install();
    State().chooserScripted = true;
}

bool PlatTestFocused(HWND dialog, int id)
{
    HWND control = PlatTestFindControl(dialog, id);
    return control && GetFocus() == control;
}

int PlatTestPendingSends()
{
    return (LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) ? 1 : 0;
}

void PlatTestDestroyAll()
{
    std::vector<HWND> windows;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows)
        if (IsWindow(window))
            DestroyWindow(window);
    PlatTestEndedDialogs().clear();
    Pump();
}

void PlatTestAddDialogTemplate(const DlgTemplate* dialog)
{
    Install();
    State().templates.push_back(dialog);
}

void PlatTestClearDialogTemplates()
{
    State().templates.clear();
}

HWND PlatTestFindControl(HWND dialog, int id)
{
    if (HWND h = GetDlgItem(dialog, id))
        return h;
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    // A page's controls: children of a child dialog.
    EnumChildWindows(
        dialog,
        [](HWND window, LPARAM p) {
            auto* s = reinterpret_cast<Search*>(p);
            if (GetDlgCtrlID(window) == s->id && IsClass(GetParent(window), "#32770"))
                s->found = window;
            return s->found ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool PlatTestClick(HWND dialog, int id, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestClick", id);
    HWND control = PlatTestFindControl(dialog, id);
    if (const std::string why = Unusable(dialog, id, control); !why.empty())
        return PlatTestMissed(where, action + ": " + why);
    SetForegroundWindow(GetAncestor(control, GA_ROOT));
    SendMessageW(control, BM_CLICK, 0, 0);
    Pump();
    return PlatTestLanded(where, action);
}

bool PlatTestType(HWND dialog, int id, const std::string& utf8, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestType", id);
    if (const std::string why = PlatTestFocusControl(dialog, id); !why.empty())
        return PlatTestMissed(where, action + ": " + why);
    HWND control = PlatTestFindControl(dialog, id);
    for (wchar_t ch : PlatWide(utf8)) {
        if (ch == L'\n')
            PostKey(control, VK_RETURN);
        else
            PostMessageW(control, WM_CHAR, ch, 1);
    }
    Pump();
    if (IsClass(control, "Edit") && (GetWindowLongW(control, GWL_STYLE) & ES_READONLY))
        return PlatTestMissed(where, action + ": control " + std::to_string(id) + " in " + PlatTestDescribe(dialog)
                                         + " is read-only");
    return PlatTestLanded(where, action);
}

bool PlatTestKey(HWND dialog, int key, Qt::KeyboardModifiers, std::source_location where)
{
    const std::string action = "PlatTestKey(" + std::to_string(key) + ")";
    if (!IsWindow(dialog))
        return PlatTestMissed(where, action + ": no dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog)));
    HWND root = GetAncestor(dialog, GA_ROOT);
    if (!IsWindowVisible(root) || !IsWindowEnabled(root))
        return PlatTestMissed(where, action + ": " + PlatTestDescribe(dialog)
                                         + (IsWindowVisible(root) ? " is disabled" : " is hidden"));
    HWND target = GetFocus();
    if (!target || GetAncestor(target, GA_ROOT) != root)
        target = dialog;
    PostKey(target, key);
    return PlatTestLanded(where, action);
}

bool PlatTestSelectComboRow(HWND dialog, int id, int row, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestSelectComboRow", id);
    HWND combo = PlatTestFindControl(dialog, id);
    if (const std::string why = Unusable(dialog, id, combo); !why.empty())
        return PlatTestMissed(where, action + ": " + why);
    if (!IsClass(combo, "ComboBox"))
        return PlatTestMissed(where, action + ": control " + std::to_string(id) + " is no combo box");
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    if (row < 0 || row >= count)
        return PlatTestMissed(where, action + ": no row " + std::to_string(row) + " of " + std::to_string(count));
    // A click on the row in the open list: the combo box notifies itself.
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(combo, &info);
    RECT r{};
    SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(info.hwndList, WM_MOUSEMOVE, 0, at);
    SendMessageW(info.hwndList, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(info.hwndList, WM_LBUTTONUP, 0, at);
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    Pump();
    return PlatTestLanded(where, action) && SendMessageW(combo, CB_GETCURSEL, 0, 0) == row;
}

bool PlatTestSelectTab(HWND dialog, int id, int index, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestSelectTab", id);
    HWND tab = PlatTestFindControl(dialog, id);
    if (const std::string why = Unusable(dialog, id, tab); !why.empty())
        return PlatTestMissed(where, action + ": " + why);
    if (!IsClass(tab, WC_TABCONTROLA))
        return PlatTestMissed(where, action + ": control " + std::to_string(id) + " is no tab control");
    const LRESULT count = SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
    if (index < 0 || index >= count)
        return PlatTestMissed(where, action + ": no tab " + std::to_string(index) + " of " + std::to_string(count));
    // A click on the tab: the tab control notifies its parent itself.
    RECT r{};
    SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tab, WM_LBUTTONUP, 0, at);
    Pump();
    return PlatTestLanded(where, action) && SendMessageW(tab, TCM_GETCURSEL, 0, 0) == index;
}

bool PlatTestCloseBox(HWND dialog, std::source_location where)
{
    if (!IsWindow(dialog))
        return PlatTestMissed(where,
                              "PlatTestCloseBox: no dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog)));
    if (!IsWindowVisible(dialog) || !IsWindowEnabled(dialog))
        return PlatTestMissed(where, "PlatTestCloseBox: " + PlatTestDescribe(dialog)
                                         + (IsWindowVisible(dialog) ? " is disabled" : " is hidden"));
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); // what the title bar's box sends
    Pump();
    return PlatTestLanded(where, "PlatTestCloseBox");
}

bool PlatTestMenuCommand(HWND dialog, int command, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestMenuCommand", command);
    HMENU menu = IsWindow(dialog) ? GetMenu(dialog) : nullptr;
    if (!menu)
        return PlatTestMissed(where, action + ": " + PlatTestDescribe(dialog) + " has no menu");
    const UINT state = GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1))
        return PlatTestMissed(where, action + ": no such item in the menu of " + PlatTestDescribe(dialog));
    if (state & (MF_GRAYED | MF_DISABLED))
        return PlatTestMissed(where, action + ": the item is disabled");
    if (!IsWindowEnabled(dialog))
        return PlatTestMissed(where, action + ": " + PlatTestDescribe(dialog) + " is disabled");
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    Pump();
    return PlatTestLanded(where, action);
}

// The text as the part holds it: Wine's SB_GETTEXTLENGTHA counts
// characters, not the bytes SB_GETTEXTA writes.
std::string PlatTestStatusText(HWND dialog, int barId, int part)
{
    HWND bar = PlatTestFindControl(dialog, barId);
    if (!bar)
        return {};
    std::wstring text(LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0)) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.data()));
    text.resize(text.size() - 1);
    return PlatNarrow(text);
}

bool PlatTestWaitFor(const std::function<bool()>& done, int timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    for (;;) {
        Pump();
        if (done())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return done();
        // Wakes for this thread's messages; the bound notices other threads' work.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)),
                                  QS_ALLINPUT);
    }
}

// ---------------------------------------------------------------- the real boxes and chooser, loops
void PlatTestRunEventLoopUntil(const std::function<bool()>& done)
{
    const UINT_PTR tick = SetTimer(nullptr, 0, 1, nullptr); // wakes the loop to ask
    MSG msg;
    while (!done() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, tick);
}

std::string PlatTestTitleBarText(HWND dialog)
{
    return TextOf(dialog);
}

bool PlatTestTitleBarHasIcon(HWND dialog)
{
    return SendMessageW(dialog, WM_GETICON, ICON_SMALL2, 0) != 0; // the small one, made from the big one
}

namespace {

constexpr int kBoxTextId = 0xFFFF; // the message box's text

// The message boxes this process shows now, whichever thread runs them.
std::vector<HWND> BoxesShowing()
{
    std::vector<HWND> boxes;
    EnumWindows(
        [](HWND window, LPARAM list) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            char cls[16] = {};
            GetClassNameA(window, cls, sizeof cls);
            if (process == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpA(cls, "#32770") == 0 &&
                GetDlgItem(window, kBoxTextId))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

std::map<UINT_PTR, std::function<void()>*> gRepeats; // by thread timer

} // namespace

std::optional<PlatTestBoxOnScreen> PlatTestBoxShowing(HWND dialog)
{
    const std::vector<HWND> boxes = BoxesShowing();
    if (boxes.empty())
        return std::nullopt;
    HWND owner = GetWindow(boxes.front(), GW_OWNER);
    return PlatTestBoxOnScreen{TextOf(GetDlgItem(boxes.front(), kBoxTextId)), TextOf(boxes.front()),
                               owner != nullptr, dialog != nullptr && owner == GetAncestor(dialog, GA_ROOT)};
}

bool PlatTestAnswerBoxShowing()
{
    const std::vector<HWND> boxes = BoxesShowing();
    if (boxes.empty())
        return false;
    for (HWND box : boxes)
        Press(box, IDOK);
    return true;
}

void PlatTestSystemClick(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
}

namespace {

// The system's chooser showing on this thread.
HWND ChooserShowing()
{
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM p) {
            if (IsWindowVisible(window) && IsChooser(window))
                *reinterpret_cast<HWND*>(p) = window;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

std::vector<std::string> PlatTestChooser::filters() const
{
    std::vector<std::string> shown;
    HWND types = GetDlgItem(window, cmb1);
    const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(
            SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()))));
        shown.push_back(PlatNarrow(text));
    }
    return shown;
}

std::vector<std::string> PlatTestChooser::listed() const
{
    std::vector<std::string> names;
    HWND view = FindWindowExW(window, nullptr, L"SHELLDLL_DefView", nullptr);
    HWND list = view ? FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
    const LRESULT count = list ? SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[MAX_PATH] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        names.push_back(PlatNarrow(text));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void PlatTestChooser::choose(const std::string& name)
{
    SetWindowTextW(ChooserNameBox(window), PlatWide(name).c_str());
    Press(window, IDOK);
}

void PlatTestChooser::cancel()
{
    Press(window, IDCANCEL);
}

bool PlatTestWithChooser(OPENFILENAMEA& ofn, BOOL& chosen, const std::function<void(PlatTestChooser&)>& look,
                         BOOL (*ask)(LPOPENFILENAMEA))
{
    bool found = false;
    const ULONGLONG giveUp = GetTickCount64() + 10000;
    PlatTestRepeat poll(10, [&] {
        HWND window = ChooserShowing();
        if (window && !found) {
            found = true;
            PlatTestChooser chooser{window};
            look(chooser);
        } else if (window && GetTickCount64() > giveUp) {
            PlatTestChooser{window}.cancel();
        }
    });
    chosen = ask(&ofn);
    return found;
}

PlatTestRepeat::PlatTestRepeat(int ms, std::function<void()> f) : f_(std::move(f))
{
    timer_ = SetTimer(nullptr, 0, static_cast<UINT>(ms), [](HWND, UINT, UINT_PTR timer, DWORD) {
        if (auto it = gRepeats.find(timer); it != gRepeats.end())
            (*it->second)();
    });
    gRepeats[timer_] = &f_;
}

PlatTestRepeat::~PlatTestRepeat()
{
    KillTimer(nullptr, timer_);
    gRepeats.erase(timer_);
}
