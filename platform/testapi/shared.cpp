// The test API's parts that are the same on every system.
#include "platform/testapi/shared.h"

#include "platform/message_box_hook.h"

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

bool PlatTestSameName(LPCSTR a, const DlgTemplate* t)
{
    if (IS_INTRESOURCE(a))
        return t->id != 0 && t->id == static_cast<int>(reinterpret_cast<uintptr_t>(a));
    return t->name && std::strcmp(t->name, a) == 0;
}

namespace {

bool gExpectMiss = false; // user-interface thread only

} // namespace

std::map<HWND, INT_PTR>& PlatTestEndedDialogs()
{
    static std::map<HWND, INT_PTR> ended;
    return ended;
}

bool PlatTestDialogEnded(HWND dialog, INT_PTR* result)
{
    auto it = PlatTestEndedDialogs().find(dialog);
    if (it == PlatTestEndedDialogs().end())
        return false;
    if (result)
        *result = it->second;
    return true;
}

std::string PlatTestDescribe(HWND dialog)
{
    const std::string caption = IsWindow(dialog) ? PlatTestWindowText(dialog) : std::string();
    return caption.empty() ? "the dialog" : "\"" + caption + "\"";
}

// An action that could not land, unless the test said it expects that.
bool PlatTestMissed(const std::source_location& where, const std::string& what)
{
    if (!std::exchange(gExpectMiss, false))
        PlatTestReport(where, what);
    return false;
}

// The action landed; a test that expected a miss fails.
bool PlatTestLanded(const std::source_location& where, const std::string& what)
{
    if (!std::exchange(gExpectMiss, false))
        return true;
    PlatTestReport(where, what + ": expected to miss, but it landed");
    return false;
}

std::string PlatTestAction(const char* name, int id)
{
    return std::string(name) + "(" + std::to_string(id) + ")";
}

void PlatTestExpectMiss()
{
    gExpectMiss = true;
}

bool PlatTestFocus(HWND dialog, int id, std::source_location where)
{
    if (const std::string why = PlatTestFocusControl(dialog, id); !why.empty())
        return PlatTestMissed(where, PlatTestAction("PlatTestFocus", id) + ": " + why);
    return PlatTestLanded(where, PlatTestAction("PlatTestFocus", id));
}

std::string PlatTestWindowText(HWND window)
{
    const LRESULT n = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    const int got = GetWindowTextA(window, s.data(), static_cast<int>(s.size()));
    s.resize(static_cast<size_t>(got));
    return s;
}

std::string PlatTestText(HWND dialog, int id)
{
    HWND h = PlatTestFindControl(dialog, id);
    return h ? PlatTestWindowText(h) : std::string();
}

bool PlatTestChecked(HWND dialog, int id)
{
    HWND h = PlatTestFindControl(dialog, id);
    return h && SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool PlatTestEnabled(HWND dialog, int id)
{
    HWND h = PlatTestFindControl(dialog, id);
    return h && IsWindowEnabled(h);
}

bool PlatTestVisible(HWND dialog, int id)
{
    HWND h = PlatTestFindControl(dialog, id);
    return h && IsWindowVisible(h);
}

std::vector<std::string> PlatTestComboRows(HWND dialog, int id)
{
    std::vector<std::string> rows;
    HWND h = PlatTestFindControl(dialog, id);
    const LRESULT count = h ? SendMessageA(h, CB_GETCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        std::string s(static_cast<size_t>(SendMessageA(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, '\0');
        SendMessageA(h, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
        s.resize(s.size() - 1);
        rows.push_back(s);
    }
    return rows;
}

namespace {

// Message boxes and the file chooser may be asked from any thread.
struct Recorded {
    std::mutex lock;
    std::vector<PlatTestMessageBox> boxes;
    int answer = 0;
    std::deque<std::optional<std::string>> chooserScript;
    int chooserCalls = 0;
    int chooserSaves = 0; // of those, asked for a name to write
};

Recorded& Record()
{
    static Recorded record;
    return record;
}

} // namespace

void PlatTestRecordMessageBoxes(int answer)
{
    PlatTestSetMessageBoxAnswer(answer);
    PlatSetMessageBoxHook([](HWND owner, const char* text, const char* caption, UINT type) {
        std::lock_guard<std::mutex> g(Record().lock);
        Record().boxes.push_back({owner, text ? text : "", caption ? caption : "Error", type});
        if (Record().answer)
            return Record().answer;
        return (type & 0xF) == MB_YESNO ? IDYES : IDOK;
    });
}

void PlatTestSetMessageBoxAnswer(int answer)
{
    std::lock_guard<std::mutex> g(Record().lock);
    Record().answer = answer;
}

std::vector<PlatTestMessageBox> PlatTestMessageBoxes()
{
    std::lock_guard<std::mutex> g(Record().lock);
    return Record().boxes;
}

void PlatTestClearMessageBoxes()
{
    std::lock_guard<std::mutex> g(Record().lock);
    Record().boxes.clear();
}

void PlatTestFileChooserAnswer(const std::string& path)
{
    PlatTestScriptChooser();
    std::lock_guard<std::mutex> g(Record().lock);
    Record().chooserScript.emplace_back(path);
}

void PlatTestFileChooserCancel()
{
    PlatTestScriptChooser();
    std::lock_guard<std::mutex> g(Record().lock);
    Record().chooserScript.emplace_back(std::nullopt);
}

void PlatTestCountChooserCall(bool save)
{
    std::lock_guard<std::mutex> g(Record().lock);
    ++Record().chooserCalls;
    Record().chooserSaves += save ? 1 : 0;
}

std::optional<std::string> PlatTestNextChooserAnswer()
{
    std::lock_guard<std::mutex> g(Record().lock);
    if (Record().chooserScript.empty())
        return std::nullopt;
    std::optional<std::string> next = std::move(Record().chooserScript.front());
    Record().chooserScript.pop_front();
    return next;
}

int PlatTestFileChooserCalls()
{
    std::lock_guard<std::mutex> g(Record().lock);
    return Record().chooserCalls;
}

#ifndef _WIN32
int PlatTestFileChooserSaves()
{
    std::lock_guard<std::mutex> g(Record().lock);
    return Record().chooserSaves;
}
#endif
