// The EPP read and write threads on the first parallel port's registers.
#include "send/epp.h"

#include "port/port.h"
#include "port/portio.h"
#include "send/send.h"

#include <atomic>
#include <vector>

namespace {

constexpr DWORD kWorkerStack = 0x8000;
constexpr DWORD kRepeatPause = 300;

// The worker that runs, set before its thread starts and cleared by the
// thread when it has let go of everything; the user-interface thread reads it.
std::atomic<int> gEppWorker{EPP_WORKER_NONE};
// The worker's thread, kept (on the user-interface thread) so a close can
// wait for it; closed once it has ended or a new worker replaces it.
HANDLE gEppThread;
// The write thread's bytes and mode, set before it starts and only read by it.
std::vector<BYTE> gEppOut;
bool gEppRepeat;

void ShowTimeout()
{
    MessageBoxA(nullptr, "epp time-out !", "error", MB_OK | MB_ICONERROR);
}

DWORD EndWorker(HWND hwnd, EppEnd how)
{
    gEppWorker.store(EPP_WORKER_NONE);
    SendMessageA(hwnd, WM_EPP_STATUS, STATUS_EPP_ENDED, how);
    return 0;
}

// True when the stop request is set, which it then clears.
bool TakeStopRequest()
{
    EnterSplSem();
    const bool stop = gStopSendFlag != 0;
    if (stop)
        gStopSendFlag = 0;
    LeaveSplSem();
    return stop;
}

BYTE ReadPort(WORD port)
{
    DWORD value = 0;
    GetPortVal(port, &value, 1);
    return static_cast<BYTE>(value & 0xFF);
}

BOOL StartWorker(HWND hwnd, EppWorker worker, LPTHREAD_START_ROUTINE body)
{
    if (gEppWorker.load() != EPP_WORKER_NONE)
        return FALSE;
    if (gEppThread != nullptr) {
        CloseHandle(gEppThread); // an ended worker's
        gEppThread = nullptr;
    }
    gStopSendFlag = 0;
    gEppWorker.store(worker);
    HANDLE thread = CreateThread(nullptr, kWorkerStack, body, hwnd, 0, nullptr);
    if (thread == nullptr) {
        gEppWorker.store(EPP_WORKER_NONE);
        return FALSE;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    gEppThread = thread;
    return TRUE;
}

} // namespace

BOOL CreateReadDataThread(HWND hwnd, LPARAM)
{
    return StartWorker(hwnd, EPP_WORKER_READ, ReadDataThread);
}

DWORD WINAPI ReadDataThread(LPVOID param)
{
    HWND hwnd = static_cast<HWND>(param);
    // Written from its first byte on, never truncated, and never through a
    // symbolic link planted at its place.
    HANDLE file = CreateFileA(EPP_CAPTURE_PATH, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr)
        return EndWorker(hwnd, EPP_END_READ_NO_FILE);
    gCurrentPort.handle = file;
    SetPortVal(LPT_CONTROL, EPP_CONTROL_READ, 1);
    BYTE previous = 0;
    for (;;) {
        EnterSplSem();
        if (gStopSendFlag) {
            gStopSendFlag = 0;
            PortRelease(); // the capture file
            LeaveSplSem();
            return EndWorker(hwnd, EPP_END_READ_STOPPED);
        }
        LeaveSplSem();
        const BYTE status = ReadPort(LPT_STATUS);
        if (status != previous) {
            previous = status;
            SendMessageA(hwnd, WM_EPP_STATUS, STATUS_EPP_CHANGED, status);
        }
        if (!(status & LPT_STATUS_NOT_BUSY))
            continue;
        const BYTE data = ReadPort(LPT_EPP_DATA);
        if (ReadPort(LPT_STATUS) & LPT_STATUS_EPP_TIMEOUT) {
            SetPortVal(LPT_STATUS, LPT_STATUS_EPP_TIMEOUT, 1); // clears the time-out on the usual chips
            ShowTimeout();
            PortRelease(); // the capture file
            return EndWorker(hwnd, EPP_END_READ_TIMEOUT);
        }
        DWORD written = 0;
        WriteFile(gCurrentPort.handle, &data, 1, &written, nullptr);
    }
}

BOOL CreateWriteEppThread(HWND hwnd, const BYTE* data, DWORD length, BOOL repeat)
{
    if (gEppWorker.load() != EPP_WORKER_NONE)
        return FALSE;
    gEppOut.assign(data, data + length);
    gEppRepeat = repeat != FALSE;
    return StartWorker(hwnd, EPP_WORKER_WRITE, WriteEppThread);
}

DWORD WINAPI WriteEppThread(LPVOID param)
{
    HWND hwnd = static_cast<HWND>(param);
    SetPortVal(LPT_CONTROL, EPP_CONTROL_WRITE, 1);
    for (;;) {
        if (gEppRepeat && TakeStopRequest())
            return EndWorker(hwnd, EPP_END_WRITE_STOPPED);
        // A write cycle that no peripheral answers fails or sets the
        // time-out bit; the pass ends there, and so does the send.
        for (BYTE byte : gEppOut) {
            if (!SetPortVal(LPT_EPP_DATA, byte, 1) || (ReadPort(LPT_STATUS) & LPT_STATUS_EPP_TIMEOUT)) {
                SetPortVal(LPT_STATUS, LPT_STATUS_EPP_TIMEOUT, 1);
                ShowTimeout();
                return EndWorker(hwnd, EPP_END_WRITE_TIMEOUT);
            }
        }
        if (!gEppRepeat)
            return EndWorker(hwnd, EPP_END_WRITE_DONE);
        Sleep(kRepeatPause);
    }
}

EppWorker EppWorkerRunning()
{
    return static_cast<EppWorker>(gEppWorker.load());
}

void StopEppAndWait()
{
    RequestSendStop();
    if (gEppThread == nullptr)
        return;
    // The worker may be waiting for this thread: a report, or its message box.
    WaitDeliveringSends(gEppThread, INFINITE);
    CloseHandle(gEppThread);
    gEppThread = nullptr;
}
