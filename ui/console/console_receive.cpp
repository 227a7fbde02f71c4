// The console's receive area: the view of what the printer sends back, its
// count, the status query, and the session log. The console's reader (see
// port/input.h) hands each chunk to ConsoleChunk on its own thread; the
// chunk waits in an inbox until the user-interface thread takes it.
#include "ui/console/console.h"

#include "port/input.h"
#include "port/port.h"
#include "res/resource.h"
#include "send/hex.h"
#include "send/send.h"
#include "ui/console/receive.h"

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
// The session's lines kept for "保存记录…"; a file being appended to gets
// every line as it comes.
constexpr size_t kSessionKeep = 4 * RX_VIEW_BYTES;
constexpr size_t kLogLineBytes = 256;
const BYTE kStatusQuery[] = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x03, 0x10, 0x04, 0x04};
const char kAnyFileFilter[] = "所有文件(*.*)\0*.*\0";

struct Inbox {
    CRITICAL_SECTION lock;
    std::deque<RxChunk> chunks; // stamp and bytes only
    size_t bytes = 0;
    uint64_t dropped = 0; // bytes the view never got to see, still counted
    bool posted = false;
    HWND console = nullptr;
};

struct SessionLog {
    CRITICAL_SECTION lock;
    std::string kept;
    HANDLE file = nullptr; // while "持续记录" appends
    std::string path;
    bool failed = false;   // the file refused a write: said once, then closed
    bool failureShown = false;
};

Inbox gInbox;
SessionLog gLog;

void EnsureLocks()
{
    static bool ready = false;
    if (!ready) {
        InitializeCriticalSection(&gInbox.lock);
        InitializeCriticalSection(&gLog.lock);
        ready = true;
    }
}

void CloseLogFileLocked()
{
    if (gLog.file != nullptr)
        CloseHandle(gLog.file);
    gLog.file = nullptr;
}

// Any thread: whole lines, kept for a later save and appended to the file
// while "持续记录" is on.
void LogLines(const std::string& line)
{
    EnterCriticalSection(&gLog.lock);
    gLog.kept += line;
    if (gLog.kept.size() > kSessionKeep)
        gLog.kept.erase(0, gLog.kept.find('\n', gLog.kept.size() - kSessionKeep) + 1);
    if (gLog.file != nullptr) {
        DWORD written = 0;
        if (!WriteFile(gLog.file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
            written != line.size()) {
            gLog.failed = true;
            CloseLogFileLocked();
        }
    }
    LeaveCriticalSection(&gLog.lock);
}

// Any thread. A line per kLogLineBytes at the most, handed on in pieces: a
// whole 5 MiB file's lines at once would be some 27 MB of text.
void LogBytes(bool sent, std::string_view bytes)
{
    constexpr size_t kLogPieceBytes = 1024 * kLogLineBytes;
    const std::string stamp = RxStamp();
    for (size_t piece = 0; piece < bytes.size(); piece += kLogPieceBytes) {
        const std::string_view part = bytes.substr(piece, kLogPieceBytes);
        std::string lines;
        for (size_t at = 0; at < part.size(); at += kLogLineBytes)
            lines += RxLogLine(stamp, sent, part.substr(at, kLogLineBytes));
        LogLines(lines);
    }
}

// UI thread: says once that the log file stopped taking lines.
void ReportLogFailure(HWND hwnd)
{
    EnterCriticalSection(&gLog.lock);
    const bool show = gLog.failed && !gLog.failureShown;
    if (show)
        gLog.failureShown = true;
    const std::string path = gLog.path;
    LeaveCriticalSection(&gLog.lock);
    if (!show)
        return;
    CheckDlgButton(hwnd, IDC_UC_LOG_APPEND, BST_UNCHECKED);
    MessageBoxA(hwnd, ("记录文件无法写入，已停止记录：" + path).c_str(), "Error", MB_OK | MB_ICONERROR);
}

// The reader's thread: log every byte, queue the chunk for the view.
void ConsoleChunk(const BYTE* bytes, DWORD count, void*)
{
    const std::string_view chunk(reinterpret_cast<const char*>(bytes), count);
    LogBytes(false, chunk);
    EnterCriticalSection(&gInbox.lock);
    gInbox.chunks.push_back({RxStamp(), std::string(chunk), {}});
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

void Redraw(HWND hwnd)
{
    if (gCurrentPort.type == PORT_PARALLEL) {
        SetDlgItemTextA(hwnd, IDC_UC_RX_VIEW, "并行口不回传数据，这里没有接收内容。");
    } else {
        const bool hex = IsDlgButtonChecked(hwnd, IDC_UC_RX_HEX) == BST_CHECKED;
        const bool stamps = IsDlgButtonChecked(hwnd, IDC_UC_RX_STAMPS) == BST_CHECKED;
        SetDlgItemTextA(hwnd, IDC_UC_RX_VIEW, RxRender(gRxView, hex, stamps).c_str());
    }
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
    EnterCriticalSection(&gLog.lock);
    gLog.kept.clear();
    gLog.path.clear(); // a new session chooses its file anew
    gLog.failed = gLog.failureShown = false;
    LeaveCriticalSection(&gLog.lock);
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
    EnterCriticalSection(&gLog.lock);
    CloseLogFileLocked();
    LeaveCriticalSection(&gLog.lock);
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
    // Read here and closed again before the engine opens the file for itself.
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
    NoteSent_Uc(bytes);
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
    Redraw(hwnd);
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
    const std::string_view query(reinterpret_cast<const char*>(kStatusQuery), sizeof kStatusQuery);
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
    EnterCriticalSection(&gLog.lock);
    CloseLogFileLocked();
    DWORD written = 0;
    const bool ok = WriteFile(file, gLog.kept.data(), static_cast<DWORD>(gLog.kept.size()), &written, nullptr) &&
                    written == gLog.kept.size();
    gLog.path = chosen;
    gLog.failed = !ok;
    gLog.failureShown = false;
    if (ok && IsDlgButtonChecked(hwnd, IDC_UC_LOG_APPEND) == BST_CHECKED)
        gLog.file = file;
    else
        CloseHandle(file);
    LeaveCriticalSection(&gLog.lock);
    ReportLogFailure(hwnd);
}

void handleLogAppendCheck(HWND hwnd)
{
    const bool keep = IsDlgButtonChecked(hwnd, IDC_UC_LOG_APPEND) == BST_CHECKED;
    EnterCriticalSection(&gLog.lock);
    if (!keep) {
        CloseLogFileLocked();
    } else if (gLog.file == nullptr && !gLog.path.empty() && !gLog.failed) {
        // Goes on with the file saved last: its lines so far are the session's.
        HANDLE file =
            CreateFileA(gLog.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE && file != nullptr &&
            WriteFile(file, gLog.kept.data(), static_cast<DWORD>(gLog.kept.size()), &written, nullptr) &&
            written == gLog.kept.size()) {
            gLog.file = file;
        } else {
            if (file != INVALID_HANDLE_VALUE && file != nullptr)
                CloseHandle(file);
            gLog.failed = true;
        }
    }
    LeaveCriticalSection(&gLog.lock);
    ReportLogFailure(hwnd);
}

BOOL IsReceiveMessage_Uc(UINT message)
{
    return message == WM_UC_RECEIVED || message == WM_UC_FIT;
}

void handleReceiveMessage_Uc(HWND hwnd, UINT message)
{
    if (message == WM_UC_FIT)
        FitToScreen_Uc(hwnd);
    else
        handleReceived_Uc(hwnd);
}
