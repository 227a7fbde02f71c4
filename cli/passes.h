// Jobs through the send engine: one pass reported through SendReporter and
// waited for on the calling thread, repeated passes with the console's pause,
// and files sent with their progress.
#pragma once

#include "platform/win32.h"

#include <string>

struct Job;

enum class Pass { Ok, Failed, Refused, Stopped };

// What the engine reported of the last pass.
struct PassReports {
    DWORD length = 0;   // the length report's value
    DWORD cmdsSent = 0; // bytes the port took of a command
    bool cmdsDone = false;
    DWORD fileProgress = 0; // bytes (a command file) or percent (a download)
    bool fileDone = false;
    bool fileFailed = false;
};
// Read on the job's thread once the pass has ended.
extern PassReports gPass;

// One send through the engine with the port in gCurrentPort, waited for; a
// stop request gives it up as closing a dialog does.
Pass RunPass(const void* data, DWORD length, WORD flags);
// Sends a command `passes` times; counts, progress and the outcome in `job`.
void SendCommandPasses(Job& job, const std::string& bytes, WORD flags, unsigned passes, const char* refused);
// A file through the engine: a command file (bytes) or a download (percent).
void SendFilePasses(Job& job, const std::string& path, WORD mode, unsigned passes);
// Gives up a send still running and waits for the engine to let go of the
// port; nothing when none runs.
void EndSend();
