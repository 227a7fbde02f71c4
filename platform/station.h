// What a console program on the window layer needs from the system: a start
// without a display, terminals, the machine's name, and an exclusive lock on
// a file that stations share (on this machine or on a network share).
#pragma once

#include <string>

// UI thread, once, before any window. Starts the window layer for a program
// that shows no window: hidden dialogs still receive the send engine's
// reports as a shown one does, no display is needed, the toolkit says
// nothing, and every message box goes to `sink` (text and caption) instead of
// the screen. Standard output and error carry UTF-8.
void PlatStartConsoleProgram(void (*sink)(const char* text, const char* caption));
// True once PlatStartConsoleProgram ran: messages then point to the
// program's options, not to dialogs it does not have.
bool PlatIsConsoleProgram();
// At the start of main, before any other thread exists, once. Ctrl-C,
// SIGTERM and SIGHUP (a closed ssh session) call `stop` on a thread where it
// may take locks and set events, which a signal handler may not.
void PlatCatchStopSignals(void (*stop)());

// Looks for devices under DIR/dev and DIR/sys (the virtual printer's
// private device root), as mptest --device-root does; false with the reason
// where DIR is no folder or the system has no device roots.
bool PlatUseDeviceRoot(const std::string& dir, std::string* why);

// True when standard output (1) or standard error (2) is a terminal.
bool PlatIsTerminal(int stream);

// The machine's network name.
std::string PlatHostName();

// A file held under an exclusive lock from PlatLockFile to PlatUnlockFile.
struct PlatLockedFile;
// Opens an existing file for reading and writing and locks it whole, waiting
// at most `timeoutMs` while another process holds it; nullptr with the
// reason in *why.
PlatLockedFile* PlatLockFile(const std::string& path, unsigned timeoutMs, std::string* why);
// The whole content.
bool PlatLockedRead(PlatLockedFile* file, std::string* text, std::string* why);
// Replaces the whole content and flushes it to the disk before returning.
bool PlatLockedRewrite(PlatLockedFile* file, const std::string& text, std::string* why);
// Unlocks and closes; nullptr is ignored.
void PlatUnlockFile(PlatLockedFile* file);

// Appends `line` to the file at `path` (made when missing) in one write,
// so writers sharing the file never interleave within a line, and flushes
// it to the disk before returning; false with the system's reason in *why.
bool PlatAppendDurably(const std::string& path, const std::string& line, std::string* why);
