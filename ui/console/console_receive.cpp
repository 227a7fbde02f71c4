// The console's receive area: the view of what the printer sends back, its
// count, the status query, and the session log. The console's reader (see
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
// The log's writer met a file that refused a write.
constexpr UINT WM_UC_LOG_FAILED = WM_USER + 302;
// The session's lines kept for "保存记录…"; a file being appended to gets
// every line as it comes.
constexpr size_t kSessionKeep = 4 * RX_VIEW_BYTES;
constexpr size_t kLogLineBytes = 256;
const char kAnyFileFilter[] = "所有文件(*.*)\0*.*\0";

struct Inbox {
    CRITICAL_SECTION lock;
    std::deque<RxChunk> chunks; // stamp and bytes only
    size_t bytes = 0;
    uint64_t dropped = 0; // bytes the view never got to see, still counted
    bool posted = false;
    HWND console = nullptr;
};

// A piece of the session log still to be written: lines ready to go, or the
// bytes of a command file the writer makes into lines itself.
struct LogWork {
    std::string lines;
    std::string fileBytes;
    std::string stamp;
    bool closeFile = false; // "持续记录" went off here
};

// The session log. Its lines go out in the order they were logged. A command
// file's lines (some five bytes of text for each byte of the file) are made
// by the log's writer thread, piece by piece, so a large send starts without
// the window waiting; whatever is logged while such work waits goes into the
// queue behind it. With the queue empty, a thread writes its lines itself.
// The file is written and closed only with `lock` held, so no thread writes
// to a closed handle.
struct SessionLog {
    CRITICAL_SECTION lock;
    // The last kSessionKeep bytes of whole lines, in the pieces they were
    // logged in: a log that grows never copies what it keeps.
    std::deque<std::string> kept;
    size_t keptBytes = 0;
    HANDLE file = nullptr; // while "持续记录" appends
    std::string path;
    bool failed = false;   // the file refused a write: said once, then closed
    bool failureShown = false;
    std::deque<LogWork> queue;
    size_t queued = 0;     // bytes in the queue
    bool writing = false;  // the writer holds work taken from the queue
    HANDLE wake = nullptr; // auto-reset: the queue has work
    HANDLE idle = nullptr; // manual-reset: nothing queued, nothing held
    HANDLE room = nullptr; // manual-reset: the queue is under its bound
};

Inbox gInbox;
SessionLog gLog;

// The reader waits (a while at the most) before it queues more than this;
// the user-interface thread never waits.
constexpr size_t kLogQueueBytes = 8 * 1024 * 1024;
// How long the console waits for the log to catch up before it saves or
// closes: a disk that takes longer leaves the rest to the writer.
constexpr DWORD kLogFlushMs = 10000;
constexpr DWORD kLogRoomMs = 1000;
// The file's bytes the writer makes into lines at a time.
constexpr size_t kLogPieceBytes = 256 * kLogLineBytes;

DWORD WINAPI LogWriterThread(LPVOID);

void EnsureLocks()
{
    static bool ready = false;
    if (!ready) {
        InitializeCriticalSection(&gInbox.lock);
        InitializeCriticalSection(&gLog.lock);
        gLog.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        gLog.idle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        gLog.room = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        // Lives as long as the program, waiting for work.
        HANDLE writer = CreateThread(nullptr, 0, LogWriterThread, nullptr, 0, nullptr);
        if (writer != nullptr)
            CloseHandle(writer);
        ready = true;
    }
}

void CloseLogFileLocked()
{
    if (gLog.file != nullptr)
        CloseHandle(gLog.file);
    gLog.file = nullptr;
}

bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

// Lines kept for a later save, and appended to the file while "持续记录" is on.
void WriteLinesLocked(std::string lines)
{
    if (gLog.file != nullptr && !WriteAll(gLog.file, lines)) {
        gLog.failed = true;
        CloseLogFileLocked();
    }
    gLog.keptBytes += lines.size();
    gLog.kept.push_back(std::move(lines));
    if (gLog.keptBytes > kSessionKeep) {
        // Up to the first line break kSessionKeep bytes from the end.
        size_t cut = gLog.keptBytes - kSessionKeep;
        while (cut >= gLog.kept.front().size()) {
            cut -= gLog.kept.front().size();
            gLog.keptBytes -= gLog.kept.front().size();
            gLog.kept.pop_front();
        }
        const size_t end = gLog.kept.front().find('\n', cut) + 1; // every piece ends a line
        gLog.kept.front().erase(0, end);
        gLog.keptBytes -= end;
    }
}

// The session's lines so far into a new file; false when it refused them.
bool WriteKeptLocked(HANDLE file)
{
    return std::all_of(gLog.kept.begin(), gLog.kept.end(),
                       [file](const std::string& lines) { return WriteAll(file, lines); });
}

bool LogBusyLocked()
{
    return gLog.writing || !gLog.queue.empty();
}

void QueueLocked(LogWork work)
{
    gLog.queued += work.lines.size() + work.fileBytes.size();
    gLog.queue.push_back(std::move(work));
    if (gLog.queued >= kLogQueueBytes)
        ResetEvent(gLog.room);
    ResetEvent(gLog.idle);
    SetEvent(gLog.wake);
}

// Any thread: whole lines, after everything logged before them. `mayWait`:
// the caller may wait for room in the queue (not the user-interface thread).
void LogLines(const std::string& lines, bool mayWait = false)
{
    if (mayWait)
        WaitForSingleObject(gLog.room, kLogRoomMs);
    EnterCriticalSection(&gLog.lock);
    if (LogBusyLocked())
        QueueLocked({lines, {}, {}, false});
    else
        WriteLinesLocked(lines);
    LeaveCriticalSection(&gLog.lock);
}

// The log's lines for bytes that went out or came in: a line per
// kLogLineBytes at the most.
std::string LogPieceLines(const std::string& stamp, bool sent, std::string_view bytes)
{
    std::string lines;
    for (size_t at = 0; at < bytes.size(); at += kLogLineBytes)
        lines += RxLogLine(stamp, sent, bytes.substr(at, kLogLineBytes));
    return lines;
}

// Any thread, for a few bytes (a chunk read, a typed command).
void LogBytes(bool sent, std::string_view bytes, bool mayWait = false)
{
    LogLines(LogPieceLines(RxStamp(), sent, bytes), mayWait);
}

// The writer has met a file that refused a write: the console says so.
void NotifyLogFailure()
{
    EnterCriticalSection(&gInbox.lock);
    HWND console = gInbox.console;
    LeaveCriticalSection(&gInbox.lock);
    if (console != nullptr)
        PostMessageA(console, WM_UC_LOG_FAILED, 0, 0);
}

void DoLogWork(LogWork work)
{
    if (work.closeFile) {
        EnterCriticalSection(&gLog.lock);
        CloseLogFileLocked();
        LeaveCriticalSection(&gLog.lock);
        return;
    }
    if (!work.lines.empty()) {
        EnterCriticalSection(&gLog.lock);
        WriteLinesLocked(std::move(work.lines));
        LeaveCriticalSection(&gLog.lock);
    }
    const std::string_view bytes = work.fileBytes;
    size_t from = 0;
    EnterCriticalSection(&gLog.lock);
    const bool toFile = gLog.file != nullptr;
    LeaveCriticalSection(&gLog.lock);
    if (!toFile) {
        // Only the kept lines count: the lines of a large file's head, which
        // its last kSessionKeep bytes of lines would push out, are not made.
        const size_t shortestLine = RxLogLine(work.stamp, true, std::string(kLogLineBytes, '\0')).size();
        const size_t keptLines = kSessionKeep / shortestLine + 2;
        const size_t lines = (bytes.size() + kLogLineBytes - 1) / kLogLineBytes;
        if (lines > keptLines)
            from = (lines - keptLines) * kLogLineBytes;
    }
    for (size_t piece = from; piece < bytes.size(); piece += kLogPieceBytes) {
        std::string lines = LogPieceLines(work.stamp, true, bytes.substr(piece, kLogPieceBytes));
        EnterCriticalSection(&gLog.lock);
        WriteLinesLocked(std::move(lines));
        LeaveCriticalSection(&gLog.lock);
    }
}

DWORD WINAPI LogWriterThread(LPVOID)
{
    for (;;) {
        WaitForSingleObject(gLog.wake, INFINITE); // an idle writer waits for work, however long
        for (;;) {
            EnterCriticalSection(&gLog.lock);
            if (gLog.queue.empty()) {
                gLog.writing = false;
                SetEvent(gLog.idle);
                LeaveCriticalSection(&gLog.lock);
                break;
            }
            LogWork work = std::move(gLog.queue.front());
            gLog.queue.pop_front();
            gLog.queued -= work.lines.size() + work.fileBytes.size();
            if (gLog.queued < kLogQueueBytes)
                SetEvent(gLog.room);
            gLog.writing = true;
            const bool failedBefore = gLog.failed;
            LeaveCriticalSection(&gLog.lock);
            DoLogWork(std::move(work));
            EnterCriticalSection(&gLog.lock);
            const bool failedNow = gLog.failed && !failedBefore;
            LeaveCriticalSection(&gLog.lock);
            if (failedNow)
                NotifyLogFailure();
        }
    }
}

// UI thread: lets the writer finish what is queued (kLogFlushMs at the most).
void FlushLog()
{
    WaitForSingleObject(gLog.idle, kLogFlushMs);
}

// UI thread: ends appending to the file after everything logged so far.
void StopAppendingLog()
{
    EnterCriticalSection(&gLog.lock);
    if (LogBusyLocked())
        QueueLocked({{}, {}, {}, true});
    else
        CloseLogFileLocked();
    LeaveCriticalSection(&gLog.lock);
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
    EnterCriticalSection(&gLog.lock);
    gLog.kept.clear();
    gLog.keptBytes = 0;
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
    StopAppendingLog();
    FlushLog();
    // The next session starts with none of this one's lines: give them back now.
    EnterCriticalSection(&gLog.lock);
    gLog.kept.clear();
    gLog.keptBytes = 0;
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
    EnterCriticalSection(&gLog.lock);
    QueueLocked({{}, std::move(bytes), RxStamp(), false});
    LeaveCriticalSection(&gLog.lock);
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
    FlushLog(); // the lines logged so far belong in it
    EnterCriticalSection(&gLog.lock);
    CloseLogFileLocked();
    const bool ok = WriteKeptLocked(file);
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
    if (IsDlgButtonChecked(hwnd, IDC_UC_LOG_APPEND) != BST_CHECKED) {
        StopAppendingLog();
        return;
    }
    FlushLog();
    EnterCriticalSection(&gLog.lock);
    if (gLog.file == nullptr && !gLog.path.empty() && !gLog.failed) {
        // Goes on with the file saved last: its lines so far are the session's.
        HANDLE file =
            CreateFileA(gLog.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE && file != nullptr && WriteKeptLocked(file)) {
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
