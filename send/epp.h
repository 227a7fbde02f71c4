// The EPP workers on the first parallel port: the read thread, which reports
// every change of the status register and captures the bytes it reads from
// the EPP data register into a file, and the write thread, which sends bytes
// to the EPP data register once or repeatedly. At most one of them runs; both
// end on the stop request gStopSendFlag.
#pragma once

#include "platform/win32.h"

// Codes of WM_EPP_STATUS (wParam). lParam of STATUS_EPP_CHANGED is the new
// status byte; of STATUS_EPP_ENDED, how the worker ended (EppEnd). The ended
// report is a worker's last act: by then it holds no file and no register.
enum EppStatus : WPARAM {
    STATUS_EPP_CHANGED = 0,
    STATUS_EPP_ENDED = 1,
};

enum EppEnd : LPARAM {
    EPP_END_READ_STOPPED = 0,
    EPP_END_READ_TIMEOUT = 1,
    EPP_END_READ_NO_FILE = 2, // the capture file could not be opened
    EPP_END_WRITE_DONE = 3,
    EPP_END_WRITE_STOPPED = 4,
    EPP_END_WRITE_TIMEOUT = 5,
};

enum EppWorker : int { EPP_WORKER_NONE = 0, EPP_WORKER_READ = 1, EPP_WORKER_WRITE = 2 };

// Where the read thread captures; the system decides where drive C's root is.
constexpr char EPP_CAPTURE_PATH[] = "c:\\epp.txt";

// Control register values: INIT inactive, data lines in (read) or out (write).
constexpr BYTE EPP_CONTROL_READ = 0x24;
constexpr BYTE EPP_CONTROL_WRITE = 0x04;
constexpr BYTE LPT_STATUS_EPP_TIMEOUT = 0x01;

// Starts the read thread reporting to `hwnd`. FALSE while an EPP worker still
// runs (never two at once) or when no thread could be made.
BOOL CreateReadDataThread(HWND hwnd, LPARAM param);
DWORD WINAPI ReadDataThread(LPVOID param);
// Starts the write thread: `length` bytes from `data` (copied) to the EPP data
// register, once, or with `repeat` pass after pass until the stop request.
BOOL CreateWriteEppThread(HWND hwnd, const BYTE* data, DWORD length, BOOL repeat);
DWORD WINAPI WriteEppThread(LPVOID param);

// The worker that runs now; it reads NONE from the moment the worker has let
// go of the port and the file, just before its ended report.
EppWorker EppWorkerRunning();
// Sets the stop request and waits, delivering the worker's reports and
// message boxes meanwhile, until the worker's thread has ended.
void StopEppAndWait();
