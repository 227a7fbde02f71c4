// The console's receive area: the view of what the printer sends back, its
// count, the status query, and the session log's controls (the log itself is
// in session_log.cpp). The console's reader (see
// port/input.h) hands each chunk to ConsoleChunk on its own thread; the
// chunk waits in an inbox until the user-interface thread takes it.
#include "ui/console/console.h"

#include "port/input.h"
#include "port/port.h"
#include "printer/status.h"
#include "res/resource.h"
#include "send/hex.h"
#include "send/send.h"
#include "ui/console/receive.h"
#include "ui/console/session_log.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

RxView gRxView;

namespace {

// The console tells itself that the inbox holds something.
constexpr UINT WM_UC_RECEIVED = WM_USER + 300;
// The console fits itself to the screen once it is shown with its frame.
constexpr UINT WM_UC_FIT = WM_USER + 301;
const char kAnyFileFilter[] = "所有文件(*.*)\0*.*\0";

struct Inbox {
    CRITICAL_SECTION lock;
    std::deque<RxChunk> chunks; // stamp and bytes only
    size_t bytes = 0;
    uint64_t dropped = 0; // bytes the view never got to see, still counted
    bool posted = false;
    HWND console = nullptr;
};

Inbox gInbox;

void EnsureLocks()
{
    static bool ready = false;
    if (!ready) {
        InitializeCriticalSection(&gInbox.lock);
        SessionLogStart();
        ready = true;
    }
}

// UI thread: says once that the log file stopped taking lines.
void ReportLogFailure(HWND hwnd)
{
    std::string path;
    if (!TakeLogFailure(&path))
        return;
    CheckDlgButton(hwnd, IDC_UC_LOG_APPEND, BST_UNCHECKED);
    MessageBoxA(hwnd, ("记录文件无法写入，已停止记录：" + path).c_str(), "Error", MB_OK | MB_ICONERROR);
}

// The reader's thread: log every byte, queue the chunk for the view.
void ConsoleChunk(const BYTE* bytes, DWORD count, void*)
{
    const std::string_view chunk(reinterpret_cast<const char*>(bytes), count);
    LogBytes(false, chunk, true);
    EnterCriticalSection(&gInbox.lock);
    gInbox.chunks.push_back({RxStamp(), std::string(chunk), {}, 0});
    gInbox.bytes += count;
    // A view that falls behind loses its oldest bytes here already.
    while (gInbox.bytes > RX_VIEW_BYTES && gInbox.chunks.size() > 1) {
        gInbox.bytes -= gInbox.chunks.front().bytes.size();
        gInbox.dropped += gInbox.chunks.front().bytes.size();
        gInbox.chunks.pop_front();
    }
    HWND notify = gInbox.posted ? nullptr : gInbox.console;
    gInbox.posted = true;
    LeaveCriticalSection(&gInbox.lock);
    if (notify != nullptr)
        PostMessageA(notify, WM_UC_RECEIVED, 0, 0);
}

void ShowCount(HWND hwnd)
{
    const std::string text = "已接收 " + std::to_string(gRxView.received) + " 字节";
    SetDlgItemTextA(hwnd, IDC_UC_RX_COUNT, text.c_str());
}

// What the view's control shows of each chunk, oldest first, so that
// arrivals go at its end and what the view let go leaves its front, instead
// of the whole megabyte being drawn again. UI thread only.
struct ShownChunk {
    uint64_t serial;
    size_t bytes;  // of the chunk when it was drawn
    size_t length; // of its text in the control
    bool first;    // drawn as the view's first chunk
};
std::deque<ShownChunk> gShown;

// The text of the chunks not shown yet, noted as shown.
std::string TextOfNewChunks(HWND hwnd)
{
    const bool hex = IsDlgButtonChecked(hwnd, IDC_UC_RX_HEX) == BST_CHECKED;
    const bool stamps = IsDlgButtonChecked(hwnd, IDC_UC_RX_STAMPS) == BST_CHECKED;
    std::string text;
    for (size_t i = gShown.size(); i < gRxView.chunks.size(); ++i) {
        const RxChunk& chunk = gRxView.chunks[i];
        const RxChunk* before = i > 0 ? &gRxView.chunks[i - 1] : nullptr;
        const std::string part = RxRenderChunk(chunk, before, hex, stamps);
        gShown.push_back({chunk.serial, chunk.bytes.size(), part.size(), before == nullptr});
        text += part;
    }
    return text;
}

// The control catches up with the view: the chunks it let go leave, the
// oldest one left is drawn again when it lost bytes or became the first,
// and the new ones are added.
void ShowArrivals(HWND hwnd)
{
    if (gCurrentPort.type == PORT_PARALLEL)
        return;
    size_t drop = 0;
    while (!gShown.empty() && (gRxView.chunks.empty() || gShown.front().serial < gRxView.chunks.front().serial)) {
        drop += gShown.front().length;
        gShown.pop_front();
    }
    std::string front;
    if (!gShown.empty()) {
        const RxChunk& oldest = gRxView.chunks.front();
        if (!gShown.front().first || gShown.front().bytes != oldest.bytes.size()) {
            drop += gShown.front().length;
            front = RxRenderChunk(oldest, nullptr, IsDlgButtonChecked(hwnd, IDC_UC_RX_HEX) == BST_CHECKED,
                                  IsDlgButtonChecked(hwnd, IDC_UC_RX_STAMPS) == BST_CHECKED);
            gShown.front() = {oldest.serial, oldest.bytes.size(), front.size(), true};
        }
    }
    PlatEditSplice(GetDlgItem(hwnd, IDC_UC_RX_VIEW), drop, front, TextOfNewChunks(hwnd));
}

void Redraw(HWND hwnd)
{
    gShown.clear();
    if (gCurrentPort.type == PORT_PARALLEL)
        SetDlgItemTextA(hwnd, IDC_UC_RX_VIEW, "并行口不回传数据，这里没有接收内容。");
    else
        SetDlgItemTextA(hwnd, IDC_UC_RX_VIEW, TextOfNewChunks(hwnd).c_str());
    ShowCount(hwnd);
}

void ClearInbox()
{
    EnterCriticalSection(&gInbox.lock);
    gInbox.chunks.clear();
    gInbox.bytes = 0;
    gInbox.dropped = 0;
    LeaveCriticalSection(&gInbox.lock);
}

} // namespace

void InitReceive_Uc(HWND hwnd)
{
    EnsureLocks();
    EnterCriticalSection(&gInbox.lock);
    gInbox.console = hwnd;
    gInbox.posted = false;
    LeaveCriticalSection(&gInbox.lock);
    ClearInbox();
    RxClear(gRxView);
    CheckDlgButton(hwnd, IDC_UC_RX_HEX, BST_CHECKED);
    CheckDlgButton(hwnd, IDC_UC_RX_STAMPS, BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_UC_LOG_APPEND, BST_UNCHECKED);
    PostMessageA(hwnd, WM_UC_FIT, 0, 0);
    for (const char* ending : {"无", "CR", "LF", "CR LF"})
        SendDlgItemMessageA(hwnd, IDC_UC_LINE_END, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ending));
    SendDlgItemMessageA(hwnd, IDC_UC_LINE_END, CB_SETCURSEL, 0, 0);
    SessionLogBegin(hwnd);
    Redraw(hwnd);
}

void FitToScreen_Uc(HWND hwnd)
{
    RECT dialog{};
    GetWindowRect(hwnd, &dialog);
    const int excess = (dialog.bottom - dialog.top) - GetSystemMetrics(SM_CYSCREEN);
    if (excess <= 0)
        return;
    // The view, last in the dialog, gives up height (down to a third of it),
    // and its group box with it; every other control keeps its place.
    RECT view{};
    HWND viewWindow = GetDlgItem(hwnd, IDC_UC_RX_VIEW);
    GetWindowRect(viewWindow, &view);
    const int shrink = std::min(excess, static_cast<int>(view.bottom - view.top) * 2 / 3);
    for (int id : {IDC_UC_RX_VIEW, IDC_UC_RX_GROUP}) {
        HWND item = GetDlgItem(hwnd, id);
        RECT r{};
        GetWindowRect(item, &r);
        POINT at{r.left, r.top};
        ScreenToClient(hwnd, &at);
        MoveWindow(item, at.x, at.y, r.right - r.left, r.bottom - r.top - shrink, TRUE);
    }
    SetWindowPos(hwnd, nullptr, dialog.left, 0, dialog.right - dialog.left, dialog.bottom - dialog.top - shrink,
                 SWP_NOZORDER);
    if (hStatusBarUc != nullptr)
        MoveWindow(hStatusBarUc, 0, 0, 0, 0, TRUE);
}

void ExitReceive_Uc(HWND)
{
    // The reader ended with the port (PortRelease); nothing posts any more.
    PortReaderStop();
    EnterCriticalSection(&gInbox.lock);
    gInbox.console = nullptr;
    LeaveCriticalSection(&gInbox.lock);
    SessionLogEnd();
}

void FollowPort_Uc(HWND hwnd, BOOL opened)
{
    ClearInbox();
    gRxView.expected.clear();
    if (opened && gCurrentPort.type != PORT_PARALLEL)
        PortReaderStart(ConsoleChunk, nullptr);
    Redraw(hwnd);
}

void ReopenLostPort_Uc(HWND hwnd)
{
    // The send would open it again too; opening it here first lets the
    // view follow it, as it follows a port chosen by hand.
    if (PortIsLost() && PortReadyToSend())
        FollowPort_Uc(hwnd, TRUE);
}

void NoteSent_Uc(std::string_view bytes)
{
    RxExpectStatus(gRxView, bytes, GetTickCount());
    LogBytes(true, bytes);
}

void NoteSentFile_Uc(const char* path)
{
    // Read here and closed again before the engine opens the file for itself
    // (alone, on Windows); the writer makes the lines.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr)
        return;
    std::string bytes;
    const DWORD size = GetFileSize(file, nullptr);
    if (size != INVALID_FILE_SIZE && size <= MAX_SEND_FILE_SIZE) {
        bytes.resize(size);
        DWORD got = 0;
        ReadFile(file, bytes.data(), size, &got, nullptr);
        bytes.resize(got);
    }
    CloseHandle(file);
    RxExpectStatus(gRxView, bytes, GetTickCount());
    LogCommandFile(std::move(bytes), RxStamp());
}

std::string LineEnding_Uc(HWND hwnd)
{
    switch (SendDlgItemMessageA(hwnd, IDC_UC_LINE_END, CB_GETCURSEL, 0, 0)) {
    case 1:
        return "\r";
    case 2:
        return "\n";
    case 3:
        return "\r\n";
    default:
        return {};
    }
}

void handleReceived_Uc(HWND hwnd)
{
    EnterCriticalSection(&gInbox.lock);
    std::deque<RxChunk> chunks;
    chunks.swap(gInbox.chunks);
    const uint64_t dropped = gInbox.dropped;
    gInbox.bytes = 0;
    gInbox.dropped = 0;
    gInbox.posted = false;
    LeaveCriticalSection(&gInbox.lock);
    gRxView.received += dropped;
    const DWORD tick = GetTickCount();
    // The answers' readings follow their bytes in the log, as in the view.
    for (const RxChunk& chunk : chunks)
        if (const std::string decoded = RxAppend(gRxView, chunk.bytes, chunk.stamp, tick); !decoded.empty())
            LogLines(RxLogStatus(chunk.stamp, decoded));
    ShowArrivals(hwnd);
    ShowCount(hwnd);
    ReportLogFailure(hwnd);
}

void handleRxViewOption_Uc(HWND hwnd)
{
    Redraw(hwnd);
}

void handleRxClearButton(HWND hwnd)
{
    ClearInbox();
    RxClear(gRxView);
    Redraw(hwnd);
}

void handleStatusQueryButton(HWND hwnd)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return;
    static const auto kQuery = StatusQueryBytes();
    const std::string_view query(reinterpret_cast<const char*>(kQuery.data()), kQuery.size());
    ReopenLostPort_Uc(hwnd);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_SEND), FALSE);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_SEND_FILE), FALSE);
    NoteSent_Uc(query);
    // Raw bytes: the text mode copies them unchanged.
    if (!SendDataToPrn(hwnd, query.data(), static_cast<DWORD>(query.size()), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE))
        MessageBoxA(hwnd, "发送数据错误！请重试", "Error", MB_OK | MB_ICONERROR);
}

void handleLogSaveButton(HWND hwnd)
{
    OPENFILENAMEA ofn;
    char chosen[260] = {};
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = kAnyFileFilter;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = sizeof chosen;
    ofn.lpstrDefExt = "txt";
    // A name to write, new or not: the save chooser, which asks before it
    // lets an existing file be replaced.
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameA(&ofn) || chosen[0] == '\0')
        return;
    HANDLE file = CreateFileA(chosen, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        MessageBoxA(hwnd, (std::string("记录文件无法写入：") + chosen).c_str(), "Error", MB_OK | MB_ICONERROR);
        return;
    }
    SaveLogTo(file, chosen, IsDlgButtonChecked(hwnd, IDC_UC_LOG_APPEND) == BST_CHECKED);
    ReportLogFailure(hwnd);
}

void handleLogAppendCheck(HWND hwnd)
{
    if (IsDlgButtonChecked(hwnd, IDC_UC_LOG_APPEND) != BST_CHECKED) {
        StopAppendingLog();
        return;
    }
    ResumeAppendingLog();
    ReportLogFailure(hwnd);
}

BOOL IsReceiveMessage_Uc(UINT message)
{
    return message == WM_UC_RECEIVED || message == WM_UC_FIT || message == WM_UC_LOG_FAILED;
}

void handleReceiveMessage_Uc(HWND hwnd, UINT message)
{
    if (message == WM_UC_FIT)
        FitToScreen_Uc(hwnd);
    else if (message == WM_UC_LOG_FAILED)
        ReportLogFailure(hwnd);
    else
        handleReceived_Uc(hwnd);
}
