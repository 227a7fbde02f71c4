// The send engine: the one output record, the stop request and its lock,
// and the sending thread that reports to the calling dialog.
#pragma once

#include "platform/win32.h"

#include <string>

enum SendFlags : WORD {
    SEND_ONCE = 0x01,
    SEND_LOOP = 0x02,
    SEND_HEX = 0x04,
    SEND_TEXT = 0x08,
    SEND_MODE_MASK = 0xF0,
    SEND_MODE_CMDS = 0x10,
    SEND_MODE_FILE = 0x20,
    SEND_MODE_VERSION = 0x40,
    SEND_MODE_FONT = 0x80,
};

#define WM_SENDCMDS_STATUS (WM_USER + 100)
#define WM_SENDFILE_STATUS (WM_USER + 200)
#define WM_EPP_STATUS (WM_USER + 201)

enum SendStatus : WPARAM {
    STATUS_FILE_LENGTH = 1,
    STATUS_FILE_PROGRESS = 10,
    STATUS_FILE_DONE = 20,
    STATUS_FILE_FAILED = 30,
    STATUS_CMDS_LENGTH = 50,
    STATUS_CMDS_SENT = 60,
};

// Largest file any send accepts.
constexpr DWORD MAX_SEND_FILE_SIZE = 0x500000;

struct OutputBuffer {
    WORD wFlags;
    BYTE* pData;
    HANDLE hFile;
    DWORD dwLen;
};

extern OutputBuffer gCurOutputBuf;
extern LONG gStopSendFlag;
extern CRITICAL_SECTION MySection;
// The output record's idle event (manual reset): set while no send holds the
// record, reset when a send is accepted, set again by its release.
extern HANDLE hOutputBufIdle;

// Each function below: the thread that may call it; its result; what it changes.

// UI thread, once at start-up. Creates MySection and hOutputBufIdle.
void UtilInit();
// UI thread, at exit after PortRelease. Frees what the output record still
// holds, closes hOutputBufIdle, deletes MySection; the port state stays.
void UtilRelease();
// Any thread. Enters MySection.
void EnterSplSem();
// Any thread. Leaves MySection; left with the stop request set while a
// repeating send runs, it also ends the waits the printer holds that send up
// in (PortStopHeldWaits).
void LeaveSplSem();
// UI thread. The stop request: gStopSendFlag set inside MySection, so a
// repeating send's pause ends at once and its pass where the printer holds it
// up (LeaveSplSem).
void RequestSendStop();
// The sending thread (or a starter whose thread could not start). Frees the
// block and closes the file the record holds, clearing each; port state 1;
// sets hOutputBufIdle.
void OutputBufRelease();

// How the engine tells its caller what happens to a send: each report is a
// (message, code, value) triple of the table above, in the order and with
// the meaning the dialogs' window messages have. `report` runs on the thread
// that makes the report (the caller's for the length report and a file that
// cannot be opened, the sending thread's for the rest) and may hold that
// thread until the caller has taken it. A file pass reports its progress at
// most about once per PROGRESS_REPORT_MS (at once for its first block, and
// always at its end, at a write the printer holds up and before a failure),
// each report with the exact count sent so far.
// A file pass that wrote everything pauses a second before it reports done;
// with `drainAtEnd` a command file's pass instead waits until the port has
// sent all it was given (the serial line's queue empty, the USB printer's
// last transfer done, every byte acknowledged by the network printer; at
// once on the parallel port) and fails when the port stops taking bytes,
// and a memory send waits so too before it reports, its count then 0 when
// the port stopped. Downloads always pause: the printer ends one by the quiet.
struct SendReporter {
    void (*report)(void* context, UINT message, WPARAM code, LPARAM value);
    void* context;
    bool drainAtEnd = false;
};
constexpr DWORD PROGRESS_REPORT_MS = 100;

// UI thread. 1 when the send was accepted and its thread started (the port
// is then busy until the release); 0 when nothing was started, the port
// state as before. Reports to hwnd as window messages (send/window_reports.cpp).
BOOL SendDataToPrn(HWND hwnd, const void* data, DWORD length, WORD flags);
// The thread that owns the port record when no send runs. As SendDataToPrn,
// reporting to `reporter`.
BOOL SendDataWithReporter(const SendReporter& reporter, const void* data, DWORD length, WORD flags);
// From SendDataWithReporter only. Copy (and translate) typed data into the
// output record and start the thread; results as SendDataToPrn's.
BOOL SendCmds(const SendReporter& reporter, const char* data, DWORD length, WORD flags);
// From SendDataWithReporter only. Open and measure the file into the output
// record (STATUS_FILE_FAILED when it cannot) and start the thread.
BOOL SendCmdFile(const SendReporter& reporter, const char* path, DWORD length, WORD flags);
// Clears the stop request and starts the sending thread, which reports to
// `reporter`; FALSE when no thread could be started, the output record then
// released.
BOOL CreateSendDataThread(const SendReporter& reporter, WORD flags);
// The sending thread's body: one pass, or passes until a stop request; ends
// with OutputBufRelease.
DWORD WINAPI SendDataThread(LPVOID param);
// Sending thread. One pass with its reports; 1 when it succeeded.
BOOL SendDataByFlag(const SendReporter& reporter);
// Any thread. Sets the stop request and gives up the running send, single or
// repeating: every wait on the printer ends within 100 ms, a file pass ends
// with STATUS_FILE_FAILED. Does not wait: hOutputBufIdle is set once the
// sending thread has released the record.
void AbandonSend();

// The thread that owns the port record, no send running. The USB string
// check on the current port, which must be USB: operation 0 writes the fixed
// string, 1 reads the stored one back into *readBack (UTF-8). nullptr on
// success, else the USB page's message.
const char* UsbStringTest(int operation, std::string* readBack);

// The thread that owns the port record, with a serial or USB port open and
// the record marked busy. Takes the port's input, asks GS I 1..3 and reads
// the answers, up to one byte each: every read is bounded (a printer that
// says nothing ends it after a few seconds), and one that brings nothing
// ends the wait. Empty when the request could not be written.
std::string AskPrinterId();

// The dialogs' side (send/window_reports.cpp).
// UI thread, when a dialog closes (then PortRelease). Sets the stop request,
// gives up the running send, single or repeating (every wait on the printer
// ends within 100 ms, a file pass ends with STATUS_FILE_FAILED), and waits
// for the output record's release, delivering the sending thread's reports
// meanwhile. Returns at once when no send runs.
void StopSendAndWait();
// UI thread. Sets the stop request and, when the running send repeats, waits
// for it to end (delivering its reports): its pass ends whole unless the
// printer holds it up. A single send is left to run to its end.
void StopRepeatingSendAndWait();
// User-interface thread. Waits, delivering the sending thread's reports, until
// no send holds the port, without asking it to stop; FALSE when one still
// does after `timeoutMs` (INFINITE: as long as the send lasts, which the
// stall rule bounds).
BOOL WaitSendEnd(DWORD timeoutMs);
// User-interface thread. Waits for `handle`, delivering meanwhile the
// messages worker threads send to this thread (their reports and message
// boxes); WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitDeliveringSends(HANDLE handle, DWORD timeoutMs);
// User-interface thread. Runs what the windows have pending (paint, input,
// timers, sent messages) and returns: the pump a network connect runs
// between its waits (PortSetWaitPump).
void DeliverWindowMessages();
