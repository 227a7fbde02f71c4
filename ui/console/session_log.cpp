// The session log (see session_log.h). The file is written and closed only
// with the log's lock held, so no thread writes to a closed handle.
#include "ui/console/session_log.h"

#include "ui/console/receive.h"

#include <algorithm>
#include <deque>

namespace {

// The session's lines kept for "保存记录…"; a file being appended to gets
// every line as it comes.
constexpr size_t kSessionKeep = 4 * RX_VIEW_BYTES;
constexpr size_t kLogLineBytes = 256;

// A piece of the session log still to be written: lines ready to go, or the
// bytes of a command file the writer makes into lines itself.
struct LogWork {
    std::string lines;
    std::string fileBytes;
    std::string stamp;
    bool closeFile = false; // "持续记录" went off here
};

// A command file's lines (some five bytes of text for each byte of the file)
// are made by the writer piece by piece; whatever is logged while such work
// waits goes into the queue behind it. With the queue empty, a thread writes
// its lines itself.
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

SessionLog gLog;
HWND gConsole = nullptr; // told of a failed write; under gLog.lock

// The reader waits (a while at the most) before it queues more than this;
// the user-interface thread never waits.
constexpr size_t kLogQueueBytes = 8 * 1024 * 1024;
// How long the console waits for the log to catch up before it saves or
// closes: a disk that takes longer leaves the rest to the writer.
constexpr DWORD kLogFlushMs = 10000;
constexpr DWORD kLogRoomMs = 1000;
// The file's bytes the writer makes into lines at a time.
constexpr size_t kLogPieceBytes = 256 * kLogLineBytes;

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

// The log's lines for bytes that went out or came in: a line per
// kLogLineBytes at the most.
std::string LogPieceLines(const std::string& stamp, bool sent, std::string_view bytes)
{
    std::string lines;
    for (size_t at = 0; at < bytes.size(); at += kLogLineBytes)
        lines += RxLogLine(stamp, sent, bytes.substr(at, kLogLineBytes));
    return lines;
}

// The writer has met a file that refused a write: the console says so.
void NotifyLogFailure()
{
    EnterCriticalSection(&gLog.lock);
    HWND console = gConsole;
    LeaveCriticalSection(&gLog.lock);
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

} // namespace

void SessionLogStart()
{
    InitializeCriticalSection(&gLog.lock);
    gLog.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    gLog.idle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    gLog.room = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    // Lives as long as the program, waiting for work.
    HANDLE writer = CreateThread(nullptr, 0, LogWriterThread, nullptr, 0, nullptr);
    if (writer != nullptr)
        CloseHandle(writer);
}

void SessionLogBegin(HWND console)
{
    EnterCriticalSection(&gLog.lock);
    gConsole = console;
    gLog.kept.clear();
    gLog.keptBytes = 0;
    gLog.path.clear(); // a new session chooses its file anew
    gLog.failed = gLog.failureShown = false;
    LeaveCriticalSection(&gLog.lock);
}

void SessionLogEnd()
{
    EnterCriticalSection(&gLog.lock);
    gConsole = nullptr; // the console is going
    LeaveCriticalSection(&gLog.lock);
    StopAppendingLog();
    FlushLog();
    // The next session starts with none of this one's lines: give them back now.
    EnterCriticalSection(&gLog.lock);
    gLog.kept.clear();
    gLog.keptBytes = 0;
    LeaveCriticalSection(&gLog.lock);
}

void LogLines(const std::string& lines, bool mayWait)
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

void LogBytes(bool sent, std::string_view bytes, bool mayWait)
{
    LogLines(LogPieceLines(RxStamp(), sent, bytes), mayWait);
}

void LogCommandFile(std::string bytes, const std::string& stamp)
{
    EnterCriticalSection(&gLog.lock);
    QueueLocked({{}, std::move(bytes), stamp, false});
    LeaveCriticalSection(&gLog.lock);
}

void FlushLog()
{
    WaitForSingleObject(gLog.idle, kLogFlushMs);
}

void StopAppendingLog()
{
    EnterCriticalSection(&gLog.lock);
    if (LogBusyLocked())
        QueueLocked({{}, {}, {}, true});
    else
        CloseLogFileLocked();
    LeaveCriticalSection(&gLog.lock);
}

bool SaveLogTo(HANDLE file, const std::string& path, bool append)
{
    FlushLog(); // the lines logged so far belong in it
    EnterCriticalSection(&gLog.lock);
    CloseLogFileLocked();
    const bool ok = WriteKeptLocked(file);
    gLog.path = path;
    gLog.failed = !ok;
    gLog.failureShown = false;
    if (ok && append)
        gLog.file = file;
    else
        CloseHandle(file);
    LeaveCriticalSection(&gLog.lock);
    return ok;
}

void ResumeAppendingLog()
{
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
}

bool TakeLogFailure(std::string* path)
{
    EnterCriticalSection(&gLog.lock);
    const bool show = gLog.failed && !gLog.failureShown;
    if (show)
        gLog.failureShown = true;
    *path = gLog.path;
    LeaveCriticalSection(&gLog.lock);
    return show;
}
