// mptest-cli: the dialogs' jobs from a command line, with the dialogs' bytes
// and words, for production lines, service desks and test rigs.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

// The program's exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;

// UI thread, after the send state (UtilInit) and port I/O (InitializeWinIo)
// are ready. Runs one command line; its exit code. May run many times in
// one process (tests do).
int CliMain(int argc, char** argv);

// Any thread, not a signal handler (PlatCatchStopSignals calls it on a
// thread): stops the running job as the console's stop button does; the
// job then ends with kExitStopped.
void CliRequestStop();
// Any thread. The manual-reset event CliRequestStop sets, so that a job's
// waits end at once on a stop without looking for it over and over.
HANDLE CliStopEvent();

// Where the window layer sends what would be a message box.
void CliMessageBox(const char* text, const char* caption);

// The SHA-256 of `bytes`, as 64 lowercase hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);

// Machine numbers from a shared counter file (cli/numbers.cpp).
// A counter's text is a prefix and a run of digits; the next number keeps
// the prefix and the width. False when the digits would overflow the width.
bool NextCounterValue(const std::string& number, std::string* next);
// A counter file as stations and editors write it: a UTF-8 byte-order mark
// (Notepad's), CRLF or LF, blanks at the end. After the last number of its
// digits the file reads "used up after NUMBER", so that a person opening it
// sees why the next job stops.
struct CounterText {
    std::string number; // the next number to give, or the last one given when used up
    bool usedUp = false;
    std::string bom;        // kept as found
    std::string eol = "\n"; // kept as found
};
CounterText ReadCounterText(const std::string& content);
std::string CounterFileText(const CounterText& counter);
// The counter after `counter.number` went to a printer: the next number, or
// used up after the last; false when the number has no digits to count.
bool CounterAfterIssue(const CounterText& counter, CounterText* after);
// One line of the attempt log: ISO 8601 time, host, port, device, number,
// result; fields holding a comma or quote are quoted.
std::string LogLine(const std::string& time, const std::string& host, const std::string& port,
                    const std::string& device, const std::string& number, bool ok);
