// The test API on the real system, for the tables that state what Windows
// does: a click is BM_CLICK, keys and characters are posted as the keyboard
// posts them and pass through IsDialogMessage, as in a modeless dialog's
// message loop, and a miss fails the running GoogleTest case.
#include "platform/testapi/shared.h"
#include "platform/windows/win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#undef EndDialog

namespace {

struct TestState {
    std::vector<const DlgTemplate*> templates;
    PlatResourceFinders program; // the finders the program registered
};

TestState& State()
{
    static TestState state;
    return state;
}

// The test templates are found before the program's own.
void Install()
{
    static bool done = false;
    if (std::exchange(done, true))
        return;
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

bool IsClass(HWND window, const char* cls)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, cls) == 0;
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
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
        Pump();
    }
    return dialog;
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
