// The one current printer port, the user's port selections, the constant
// selection tables, and the operations that open, write and release ports.
#pragma once

#include "platform/win32.h"

#include <array>
#include <atomic>
#include <string>

// The network printer (raw TCP) is a fourth kind beside the cable's three.
enum PortType : BYTE { PORT_PARALLEL = 0, PORT_SERIAL = 1, PORT_USB = 2, PORT_NETWORK = 3 };

enum PortState : BYTE { PORT_STATE_CLOSED = 0, PORT_STATE_IDLE = 1, PORT_STATE_BUSY = 2 };

struct PortRecord {
    char name[10];
    BYTE type;
    HANDLE handle;
    // Read by the user-interface thread while the sending thread writes it;
    // the busy value 2 is what keeps the two apart.
    std::atomic<BYTE> state;
};

// One row of a selection table: a value and its text (UTF-8).
struct MapEntry {
    DWORD value;
    char text[16];
};

struct ComSettings {
    BYTE port; // row of gLptComNameMap, 4..10
    BYTE baud;
    BYTE dataBits;
    BYTE parity;
    BYTE stopBits;
    BYTE flow;
};

enum FlowRow : BYTE { FLOW_XONXOFF = 0, FLOW_HARDWARE = 1, FLOW_NONE = 2 };

// The parallel writer gives up after this many consecutive busy polls.
constexpr DWORD LPT_BUSY_POLL_LIMIT = 0xE00000;
// After a stop of a repeating send, a printer busy this long holds the
// send up, and the parallel writer gives up.
constexpr DWORD LPT_HELD_UP_MS = 50;
// Steps of the idle loop after each strobe.
constexpr DWORD LPT_IDLE_STEPS = 100;

extern const std::array<MapEntry, 11> gLptComNameMap;
extern const std::array<MapEntry, 10> gComRMap;
extern const std::array<MapEntry, 4> gComDMap;
extern const std::array<MapEntry, 5> gComPMap;
extern const std::array<MapEntry, 3> gComSMap;
extern const std::array<MapEntry, 3> gComFMap;

extern PortRecord gCurrentPort;
extern BYTE gLptInfo;
extern ComSettings gComInfo;
extern BYTE gUsbInfo;
extern COMMCONFIG gDefaultComConfig;
extern COMMCONFIG gCurrentComConfig;
extern char g_portInfoStr[256];

// Any thread that owns the record; the handle must already be released.
// Zeroes the whole record: parallel, no name, no handle, state 0.
void ClearPortRecord(PortRecord& record);
// Debug builds: stops the program when the user-interface thread (the one
// that last ran InitPort) rewrites gCurrentPort while its state is busy, that
// is, under a transfer that owns it. ClearPortRecord, PortRelease and
// OpenPorts ask it first. Nothing in a release build.
void PortCheckRecordOwner();
// User-interface thread: true while OpenPorts connects to the network port
// (the record busy, the thread running messages, so a close may release it).
extern std::atomic<bool> gPortConnecting;

// Any thread. The text of row `index` of `table`, or nullptr when the index
// names no row.
template <size_t N>
const char* MapText(const std::array<MapEntry, N>& table, size_t index)
{
    return index < N ? table[index].text : nullptr;
}

// Each function below: the thread that may call it; its result; what it changes.

// UI thread, at start-up and when the port settings dialog opens. Reads the
// stored serial default of COM1 into both configurations, resets every
// selection and clears the record.
void InitPort();
// UI thread. The line selections of gComInfo (all but the port) read from a
// stored configuration; a value no row holds names no row.
void ComInfoFromDcb(const DCB& dcb);
// UI thread. Rebuilds g_portInfoStr from gComInfo and returns it.
const char* getComInfo();
// The owner of the record (the UI thread when no send runs, the sending
// thread inside a transfer, the EPP read thread while it holds the capture
// file). The one place the port handle is closed: closes
// it if the record holds one and sets it to none; after an abandoned transfer
// it first discards the output the line still holds queued. Name, type and
// state stay.
void PortRelease();

// As PortRelease. 1 when the port is open and idle (busy inside a transfer),
// 0 otherwise; closes what the record held, then fills it anew. Outside a
// transfer it also forgets a port lost by PortDropDeadHandle.
BOOL OpenPorts(BYTE type);
// UI thread, after OpenPorts (or PortReadyToSend's reopening) failed: TRUE
// when a stop or close the user asked for ended it, a network connect cut
// short. The dialogs take that quietly: no message box, at most a status line.
BOOL PortOpenStopped();
// Sending thread, when a serial or USB write failed other than by its
// time-out or an abort: the printer (or its USB-serial adapter) went away.
// Releases the dead handle; the record keeps its type and name, and the port
// counts as lost until it is opened again.
void PortDropDeadHandle();
// UI thread, before a send. TRUE when the record holds a port to send to:
// the parallel port, or a serial or USB handle. A lost port is first opened
// again, so a printer plugged back in is reached without choosing its port
// anew; while it stays away, every send tries again. TRUE while a send runs (its record is not to be touched then; the
// send's own refusal follows).
BOOL PortReadyToSend();
// Any thread. TRUE while a port lost by PortDropDeadHandle is not open again,
// or while the network printer has closed the connection the port holds.
BOOL PortIsLost();
// Sending thread, or UI thread for a short write outside a send. 1 with
// *written = length when every byte went out; 0 on an off-line printer, a busy
// printer past the poll limit (each with its message box), a refused register
// write, or an abort (no message; *written untouched).
BOOL WriteParallelPort(const BYTE* data, DWORD length, DWORD* written);
// UI thread, right after OpenPorts(type) failed. The second line of the
// port's failure message: the port, the device it stands for, why it did not
// open and what to do, in the user's words (UTF-8). Opens nothing it keeps.
std::string PortOpenFailureDetail(BYTE type);
// UI thread. The extended control register's final value, 0 when the probe
// cannot run; shows four message boxes.
BYTE GetLptStatus();
// Any thread that owns the record. Writes gComInfo into config's DCB and
// stores it as the selected COM port's default; the store's result.
BOOL SetComConfig(COMMCONFIG* config, DWORD size);
// Any thread that owns the record. Writes gComInfo into `dcb`, storing
// nothing: the next serial open uses it when it is gCurrentComConfig's.
void ComInfoToDcb(DCB& dcb);
// Sending thread, inside a transfer. Reopens the serial port at the given
// speed and flow rows; gComInfo unchanged, state busy.
void SetComBaudRate2(BYTE baud, BYTE flow);
// Sending thread, inside a transfer. Reopens the serial port with the user's
// settings; OpenPorts' result; state busy.
BOOL ResetBaudRate();
// Any thread. Shows text and value in a message box captioned "display hex";
// `detail`, when given, on a line of its own after them.
void DisplayDword2(const char* text, LONG value, const char* detail = nullptr);

// Giving up the waits on the printer (port/waits.cpp).
// Any thread. Every wait on the printer at the current port ends within
// 100 ms: the parallel handshake returns 0 without a message, a read or write
// under way in PortReadFile/PortWriteFile returns, and PortAbortEvent() is set
// so that pauses waiting on it end. Holds until PortClearAbort.
void PortAbortWaits();
// Any thread. The stop of a repeating send: only what the printer is holding
// up ends. The parallel handshake gives up (without a message) once the
// printer has shown busy for LPT_HELD_UP_MS since the stop; a serial or USB
// write under way, which waits for the printer to take its bytes, returns;
// the pauses waiting on PortAbortEvent() end. Bytes the printer takes still
// go. Holds until PortClearAbort.
void PortStopHeldWaits();
// Any thread. TRUE while the stop holds.
BOOL PortStopRequested();
// UI thread, when a send is accepted. Withdraws the request and the stop.
void PortClearAbort();
// Any thread. TRUE while the request holds.
BOOL PortAbortRequested();
// Any thread. The manual-reset event that PortAbortWaits sets.
HANDLE PortAbortEvent();
// The thread that owns the record. ReadFile / WriteFile on the port handle
// that PortAbortWaits can end from another thread; FALSE with
// ERROR_OPERATION_ABORTED once the request holds. Results as ReadFile's and
// WriteFile's (a write that reaches its time-out is TRUE with a short count).
BOOL PortWriteFile(HANDLE handle, const BYTE* data, DWORD length, DWORD* written);
BOOL PortReadFile(HANDLE handle, BYTE* data, DWORD length, DWORD* read);
// The thread that owns the record. Until what was written to the USB or
// network port's handle has left (PortHandleDrain), bounded as a write is
// and ended as PortWriteFile is; TRUE when it has.
BOOL PortDrainFile(HANDLE handle);

// Reading and writing a serial or USB port's handle, per system
// (port/linux/port_files.cpp, port/windows/port_files.cpp). On Windows the
// handles are opened for overlapped I/O, so the console's reader can wait for
// the printer while a send writes to the same handle.
// Any thread. The flags CreateFileA opens a serial or USB port with.
DWORD PortOpenFlags();
// The thread that owns the record. One WriteFile or ReadFile on a port
// handle, waiting for it to end; results as theirs. On Windows a call that
// has not ended after PORT_IO_BOUND_MS is cancelled and counts what moved
// until then.
constexpr DWORD PORT_IO_BOUND_MS = 10000;
BOOL PortHandleWrite(HANDLE handle, const void* data, DWORD length, DWORD* written);
BOOL PortHandleRead(HANDLE handle, void* data, DWORD length, DWORD* read);
// The thread that owns the record. Waits until a USB printer has taken the
// last write and a network printer has acknowledged every byte; TRUE at once
// where a write's end already means that. FALSE when nothing moved within a
// write's bound or the port failed.
BOOL PortHandleDrain(HANDLE handle);
// The console's reader. One read of up to `length` bytes that also ends when
// `stop` (an event) is set; on systems where a read cannot wait on an event,
// the one who sets it also cancels the read.
BOOL PortReadChunk(HANDLE handle, BYTE* data, DWORD length, DWORD* got, HANDLE stop);
