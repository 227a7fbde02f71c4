// The console's session log: every byte sent and received, as lines, kept
// (the last few megabytes) for "保存记录…" and appended to a file while
// "持续记录" is on. Its lines go out in the order they were logged; a
// command file's lines are made by a writer thread of the log's own, so a
// large send starts without the window waiting.
#pragma once

#include "platform/win32.h"

#include <string>
#include <string_view>

// The log's writer met a file that refused a write (posted to the console).
constexpr UINT WM_UC_LOG_FAILED = WM_USER + 302;

// Once, before any other call: the log's lock, events and writer thread.
void SessionLogStart();
// UI thread. A new console session: no lines kept, no file chosen, and
// `console` (nullptr: none) told of a failed write.
void SessionLogBegin(HWND console);
// UI thread. The session ended: appending stops after what was logged, and
// the kept lines are given back.
void SessionLogEnd();
// Any thread: whole lines, after everything logged before them. `mayWait`:
// the caller may wait (a while at the most) for room in the queue; the
// user-interface thread never does.
void LogLines(const std::string& lines, bool mayWait = false);
// Any thread, for a few bytes (a chunk read, a typed command).
void LogBytes(bool sent, std::string_view bytes, bool mayWait = false);
// UI thread: a command file's bytes, sent at `stamp`; the writer makes the lines.
void LogCommandFile(std::string bytes, const std::string& stamp);
// UI thread: lets the writer finish what is queued (a bound, not forever).
void FlushLog();
// UI thread: ends appending to the file after everything logged so far.
void StopAppendingLog();
// UI thread: the session's lines so far into `file` (which it takes), then,
// when `append`, every line as it comes. False when the file refused them.
bool SaveLogTo(HANDLE file, const std::string& path, bool append);
// UI thread: "持续记录" on again: goes on with the file saved last (written
// anew with the session's lines), if there is one and it did not fail.
void ResumeAppendingLog();
// UI thread: the file's path, once, when it stopped taking lines; else false.
bool TakeLogFailure(std::string* path);
