// The send engine: accepts one send at a time, starts the sending thread, and
// writes memory blocks or files to the current port with progress reports.
#include "send/send.h"

#include "port/input.h"
#include "port/port.h"
#include "printer/download.h"
#include "send/hex.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace {

constexpr DWORD kFileBlock = 256;
constexpr int kMaxStalledWrites = 3;
constexpr int kFontAnswerAttempts = 3;
// A serial line whose output queue has not moved for this long (three of the
// writes' time-outs) is held by the printer: the drain gives up.
constexpr DWORD kDrainStallMs = 9000;
constexpr DWORD kDrainPollMs = 2;

struct LocalFreeDeleter {
    void operator()(BYTE* block) const { LocalFree(block); }
};
// The block a file pass reads the file into; freed however the pass ends.
using PassBlock = std::unique_ptr<BYTE, LocalFreeDeleter>;

// The running send's reporter: written when a send is accepted, before its
// thread starts, and read by that thread only.
SendReporter gSendReporter{};

void Report(const SendReporter& to, UINT message, WPARAM code, LPARAM value)
{
    if (to.report != nullptr)
        to.report(to.context, message, code, value);
}

bool IsSerial()
{
    return gCurrentPort.type == PORT_SERIAL;
}

// A pause of the sending thread that a given-up transfer ends at once; true
// when it was ended so.
bool Pause(DWORD milliseconds)
{
    return WaitForSingleObject(PortAbortEvent(), milliseconds) == WAIT_OBJECT_0;
}

// The one way the engine writes to the port. A serial or USB write may end
// at its time-out having moved part or none of its bytes: the rest is
// written again, and three such time-outs in a row that move nothing end the
// write as a failure, so a port that accepts nothing never holds the sending
// thread (with 3 s time-outs, about 9 s). The parallel writer has its own
// bound. A transfer given up (PortAbortWaits) ends the write at once; a
// stopped repeating send (PortStopHeldWaits) ends it where the printer holds
// it up.
// TRUE when every byte went out; *written counts the bytes that did.
// `heldUp` runs each time a write ends at its time-out short of the block.
BOOL WriteBlock(const BYTE* data, DWORD length, DWORD* written, const std::function<void()>& heldUp = {})
{
    *written = 0;
    if (gCurrentPort.type == PORT_PARALLEL) {
        DWORD count = 0;
        if (!WriteParallelPort(data, length, &count))
            return FALSE;
        *written = count;
        return TRUE;
    }
    HANDLE port = gCurrentPort.handle;
    if (port == nullptr)
        return FALSE;
    int stalled = 0;
    do {
        DWORD count = 0;
        const BOOL ok = PortWriteFile(port, data + *written, length - *written, &count);
        *written += count;
        if (!ok) {
            // Not a time-out (that is a short count) nor a stop: the device
            // went away. Its handle is of no more use; the next send opens
            // the port again.
            if (GetLastError() != ERROR_OPERATION_ABORTED)
                PortDropDeadHandle();
            return FALSE;
        }
        // A write that reached its time-out after the stop of a repeating
        // send: the printer holds the pass up, which ends it.
        if (*written < length && PortStopRequested())
            return FALSE;
        if (*written < length && heldUp)
            heldUp();
        if (count > 0)
            stalled = 0;
        else if (length > 0 && ++stalled >= kMaxStalledWrites)
            return FALSE;
    } while (*written < length);
    return TRUE;
}

BOOL ReportFilePassFailed(const SendReporter& to, WORD mode)
{
    if (mode == SEND_MODE_FONT && IsSerial())
        ResetBaudRate();
    Report(to, WM_SENDFILE_STATUS, STATUS_FILE_FAILED, 0);
    return FALSE;
}

// Before a serial font download: the preamble at 9600 baud with hardware
// flow, then 38400 baud, and the printer must answer 1C AA AA.
bool FontHandshake()
{
    // SendDataToPrn made the port busy already; the procedure says so again.
    gCurrentPort.state = PORT_STATE_BUSY;
    SetComBaudRate2(5, FLOW_HARDWARE);
    if (gCurrentPort.handle == nullptr)
        return false;
    DWORD written = 0;
    WriteBlock(kFontPreamble.data(), kFontPreamble.size(), &written);
    SetComBaudRate2(7, FLOW_HARDWARE);
    if (Pause(100) || gCurrentPort.handle == nullptr)
        return false;
    PortTakeInput(); // the acknowledgement is the engine's to read
    for (int attempt = 0; attempt < kFontAnswerAttempts; ++attempt) {
        BYTE answer[3] = {};
        DWORD got = 0;
        PortReadFile(gCurrentPort.handle, answer, sizeof answer, &got);
        if (got == sizeof answer && std::memcmp(answer, kFontAnswer.data(), sizeof answer) == 0)
            return true;
        if (Pause(1000))
            return false;
    }
    return false;
}

LPARAM FileProgress(WORD mode, DWORD sent, DWORD total)
{
    if (mode == SEND_MODE_FILE)
        return static_cast<LPARAM>(sent);
    if (total == 0)
        return 100; // nothing to send is all sent
    return static_cast<LPARAM>(static_cast<double>(sent) / total * 100.0);
}

// A pass's progress reports at a screen's pace: each report is a hand-over
// to the caller's thread, and one per 256-byte block costs more than the
// writes themselves while no one can see more than one a frame.
class ProgressReports {
public:
    ProgressReports(const SendReporter& to, WORD mode, DWORD total) : to_(to), mode_(mode), total_(total) {}

    // After each block: reported when it is the pass's first or last, or
    // when the last report is PROGRESS_REPORT_MS old.
    void Sent(DWORD sent)
    {
        pending_ = sent;
        const auto now = std::chrono::steady_clock::now();
        if (reported_ == kNone || sent >= total_ || now - lastAt_ >= std::chrono::milliseconds(PROGRESS_REPORT_MS))
            Flush();
    }
    // What was sent and not yet reported, reported now (a write held up, a failure).
    void Flush()
    {
        if (pending_ == kNone || pending_ == reported_)
            return;
        Report(to_, WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS, FileProgress(mode_, pending_, total_));
        reported_ = pending_;
        lastAt_ = std::chrono::steady_clock::now();
    }

private:
    static constexpr DWORD kNone = 0xFFFFFFFF; // no block yet
    const SendReporter& to_;
    const WORD mode_;
    const DWORD total_;
    DWORD pending_ = kNone;
    DWORD reported_ = kNone;
    std::chrono::steady_clock::time_point lastAt_{};
};

// Until the port has sent all it was given: the serial line's queue
// empty, the USB printer's last transfer done, the network printer's
// acknowledgement of every byte; true at once on the parallel port, whose
// handshake took each byte. False when the transfer was given up or the
// port stopped taking bytes.
bool DrainLine()
{
    if (gCurrentPort.type == PORT_PARALLEL)
        return true;
    if (!IsSerial())
        return gCurrentPort.handle != nullptr && PortDrainFile(gCurrentPort.handle);
    DWORD queued = 0xFFFFFFFF;
    DWORD movedAt = GetTickCount();
    for (;;) {
        DWORD errors = 0;
        COMSTAT line{};
        if (gCurrentPort.handle == nullptr || !ClearCommError(gCurrentPort.handle, &errors, &line))
            return false;
        if (line.cbOutQue == 0)
            return true;
        if (line.cbOutQue != queued) {
            queued = line.cbOutQue;
            movedAt = GetTickCount();
        } else if (GetTickCount() - movedAt >= kDrainStallMs) {
            return false;
        }
        if (Pause(kDrainPollMs))
            return false;
    }
}

BOOL FilePass(const SendReporter& to, WORD mode)
{
    HANDLE file = gCurOutputBuf.hFile;
    const DWORD total = gCurOutputBuf.dwLen;
    if (file == nullptr)
        return ReportFilePassFailed(to, mode);
    // Every pass reads the file from its start, also after a pass that failed.
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    PassBlock block(static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, total > 0 ? total : 1)));
    if (!block)
        return ReportFilePassFailed(to, mode);
    DWORD got = 0;
    if (!ReadFile(file, block.get(), total, &got, nullptr) || got < total)
        return ReportFilePassFailed(to, mode);
    DWORD sent = 0;
    DWORD count = total < kFileBlock ? total : kFileBlock;
    ProgressReports progress(to, mode, total);
    const std::function<void()> heldUp = [&progress] { progress.Flush(); };
    for (;;) {
        DWORD written = 0;
        if (!WriteBlock(block.get() + sent, count, &written, heldUp)) {
            progress.Flush();
            return ReportFilePassFailed(to, mode);
        }
        sent += written;
        count = total - sent < kFileBlock ? total - sent : kFileBlock;
        progress.Sent(sent);
        if (sent >= total)
            break;
    }
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    block.reset();
    // A download keeps its pause whatever was asked: the printer ends a
    // download when the line goes quiet, so the next job must not follow at once.
    if (to.drainAtEnd && mode == SEND_MODE_FILE) {
        if (!DrainLine())
            return ReportFilePassFailed(to, mode);
    } else {
        Pause(1000); // everything went out: a transfer given up meanwhile still ends well
    }
    if (mode == SEND_MODE_FONT && IsSerial())
        ResetBaudRate();
    Report(to, WM_SENDFILE_STATUS, STATUS_FILE_DONE, 0);
    return TRUE;
}

} // namespace

BOOL SendDataWithReporter(const SendReporter& reporter, const void* data, DWORD length, WORD flags)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return FALSE;
    if (!PortReadyToSend())
        return FALSE;
    const BYTE remembered = gCurrentPort.state;
    gCurrentPort.state = PORT_STATE_BUSY;
    PortClearAbort(); // a request that ended an earlier send is spent
    // Until its release the output record belongs to this send.
    ResetEvent(hOutputBufIdle);
    BOOL result = FALSE;
    switch (flags & SEND_MODE_MASK) {
    case SEND_MODE_CMDS:
        result = SendCmds(reporter, static_cast<const char*>(data), length, flags);
        break;
    case SEND_MODE_FILE:
    case SEND_MODE_VERSION:
        result = SendCmdFile(reporter, static_cast<const char*>(data), length, flags);
        break;
    case SEND_MODE_FONT: {
        // Parallel and USB printers get the preamble once, here; a serial
        // printer gets it at the start of every pass, at its own speed.
        DWORD written = 0;
        if (!IsSerial())
            WriteBlock(kFontPreamble.data(), kFontPreamble.size(), &written);
        result = SendCmdFile(reporter, static_cast<const char*>(data), length, flags);
        break;
    }
    default:
        break;
    }
    if (!result) {
        gCurrentPort.state = remembered;
        SetEvent(hOutputBufIdle);
    }
    return result;
}

BOOL SendCmds(const SendReporter& reporter, const char* data, DWORD length, WORD flags)
{
    if (data == nullptr || length == 0)
        return FALSE;
    gCurOutputBuf = OutputBuffer{};
    BYTE* block = static_cast<BYTE*>(std::calloc(length, 1));
    if (block == nullptr)
        return FALSE;
    gCurOutputBuf.pData = block;
    if (flags & SEND_HEX) {
        gCurOutputBuf.dwLen = TranslateString(block, data, length);
    } else {
        std::memcpy(block, data, length);
        gCurOutputBuf.dwLen = length;
    }
    Report(reporter, WM_SENDCMDS_STATUS, STATUS_CMDS_LENGTH, static_cast<LPARAM>(gCurOutputBuf.dwLen));
    gCurrentPort.state = PORT_STATE_BUSY; // as SendDataToPrn left it; the procedure says so again
    gCurOutputBuf.wFlags = flags;
    gCurOutputBuf.hFile = nullptr;
    return CreateSendDataThread(reporter, flags);
}

BOOL SendCmdFile(const SendReporter& reporter, const char* path, DWORD length, WORD flags)
{
    if (path == nullptr || length == 0)
        return FALSE;
    // A file that is not there is a failure, not an empty file to send.
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD sizeHigh = 0;
    DWORD size = INVALID_FILE_SIZE;
    if (file != INVALID_HANDLE_VALUE && file != nullptr) {
        SetLastError(ERROR_SUCCESS);
        size = GetFileSize(file, &sizeHigh);
    }
    const bool measured = file != INVALID_HANDLE_VALUE && file != nullptr &&
                          !(size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS);
    if (!measured || sizeHigh != 0 || size > MAX_SEND_FILE_SIZE) {
        if (file != INVALID_HANDLE_VALUE && file != nullptr)
            CloseHandle(file);
        gCurOutputBuf.hFile = nullptr;
        Report(reporter, WM_SENDFILE_STATUS, STATUS_FILE_FAILED, 0);
        return FALSE;
    }
    gCurOutputBuf.hFile = file;
    gCurOutputBuf.dwLen = size;
    gCurOutputBuf.pData = nullptr;
    gCurOutputBuf.wFlags = flags;
    gCurrentPort.state = PORT_STATE_BUSY; // as SendDataToPrn left it; the procedure says so again
    Report(reporter, WM_SENDFILE_STATUS, STATUS_FILE_LENGTH, static_cast<LPARAM>(size));
    return CreateSendDataThread(reporter, flags);
}

BOOL CreateSendDataThread(const SendReporter& reporter, WORD)
{
    gStopSendFlag = 0;
    gSendReporter = reporter;
    HANDLE thread = CreateThread(nullptr, 0x8000, SendDataThread, &gSendReporter, 0, nullptr);
    if (thread == nullptr) {
        // No thread will release the record: give it back now.
        OutputBufRelease();
        return FALSE;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    CloseHandle(thread);
    return TRUE;
}

DWORD WINAPI SendDataThread(LPVOID param)
{
    const SendReporter& to = *static_cast<const SendReporter*>(param);
    if (gCurOutputBuf.wFlags & SEND_ONCE) {
        SendDataByFlag(to);
        OutputBufRelease();
        return 0;
    }
    for (;;) {
        EnterSplSem();
        if (gStopSendFlag) {
            gStopSendFlag = 0;
            // Leave the section before the release: once the port shows idle
            // a new send may start and write the record and the flag.
            LeaveSplSem();
            OutputBufRelease();
            return 0;
        }
        LeaveSplSem();
        SendDataByFlag(to);
        Pause(300);
    }
}

BOOL SendDataByFlag(const SendReporter& to)
{
    const WORD mode = gCurOutputBuf.wFlags & SEND_MODE_MASK;
    switch (mode) {
    case SEND_MODE_CMDS: {
        if (gCurrentPort.type != PORT_PARALLEL && gCurrentPort.handle == nullptr)
            return FALSE;
        DWORD written = 0;
        // Bytes the port has not sent when it is closed may be lost: what
        // could not be seen to leave counts as not sent.
        if (WriteBlock(gCurOutputBuf.pData, gCurOutputBuf.dwLen, &written) && to.drainAtEnd && !DrainLine())
            written = 0;
        Report(to, WM_SENDCMDS_STATUS, STATUS_CMDS_SENT, static_cast<LPARAM>(written));
        return TRUE;
    }
    case SEND_MODE_FILE:
        return FilePass(to, mode);
    case SEND_MODE_VERSION:
        if (gCurrentPort.type == PORT_PARALLEL)
            Pause(10);
        return FilePass(to, mode);
    case SEND_MODE_FONT:
        if (IsSerial()) {
            if (!FontHandshake())
                return ReportFilePassFailed(to, mode);
        } else if (gCurrentPort.type == PORT_PARALLEL) {
            Pause(1000);
        }
        return FilePass(to, mode);
    default:
        return FALSE;
    }
}

void AbandonSend()
{
    RequestSendStop();
    if (gCurrentPort.state == PORT_STATE_BUSY)
        PortAbortWaits();
}
