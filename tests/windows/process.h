// Programs the Windows tests start as a user starts them.
#pragma once

#include "platform/windows/win.h"

#include <string>

// Starts `path` with `arguments`; `out`, when given, is its standard output
// and error. False when it could not start.
inline bool StartProgram(const std::string& path, const std::string& arguments, PROCESS_INFORMATION& process,
                         HANDLE out = nullptr)
{
    std::string commandLine = path;
    commandLine.insert(commandLine.begin(), '"');
    commandLine += '"';
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (out != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = out;
    }
    process = {};
    return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, out != nullptr, 0, nullptr, nullptr,
                          &startup, &process) != FALSE;
}

// Waits, bounded, for the program to end and closes its handles: its exit
// code, or -1 when it had to be ended.
inline int EndProgram(PROCESS_INFORMATION& process, DWORD timeoutMs)
{
    int exitCode = -1;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        exitCode = static_cast<int>(code);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}
