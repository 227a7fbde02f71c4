// Who reads the printer's answers on a port, and how the reading passes from
// one reader to another.
//
// A port's input has one owner at a time:
//   - the console's reader, a thread the command console starts on the serial
//     or USB port it has open (PortReaderStart); it hands every chunk it reads
//     to the console's receive view and session log;
//   - the send engine, while it waits for the printer's 1C AA AA after the
//     font preamble on a serial port;
//   - the USB test page, while it reads back the printer's stored string.
// The hand-over is PortTakeInput: the engine and the USB page call it before
// they read, and it ends the console's reader (waiting for it) if one runs.
// The reader also ends before its port's handle is closed: PortRelease ends
// it first, so no reader ever reads a handle that was closed or reopened
// under it (the font download's speed switch reopens the serial port).
// The console's reader is never restarted behind the new owner's back: only
// the console starts it again, when its user opens a port.
#pragma once

#include "platform/win32.h"

// Called on the reader's thread with each chunk, as it arrives: the bytes,
// their count, and the context given to PortReaderStart. Must not wait on
// the user-interface thread.
typedef void (*PortChunkSink)(const BYTE* bytes, DWORD count, void* context);

// UI thread, with a serial or USB port open in gCurrentPort and idle. Ends a
// reader already running, then starts one on the record's handle. 1 when
// it runs; 0 for a parallel port, no handle, or no thread.
BOOL PortReaderStart(PortChunkSink sink, void* context);
// Any thread that owns the record. Ends the reader and waits until it has
// ended: its read in progress is cancelled, so the wait is short (and bounded
// by the read's own time-out); the handle may be closed once this returns.
// Nothing when none runs.
void PortReaderStop();
// Any thread. TRUE while the console's reader runs.
BOOL PortReaderRunning();
// Any thread that is about to read the port itself (the engine's font
// acknowledgement, the USB page's read-back): the input becomes the caller's.
void PortTakeInput();
