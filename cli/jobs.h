// mptest-cli's jobs, one function per command (cli/job_*.cpp), and what
// they share.
#pragma once

#include "cli/report.h"

#include <string>

struct CommandLine;

int RunPorts(const CommandLine& line);
int RunSend(const CommandLine& line);
int RunTest(const CommandLine& line);
int RunFirmware(const CommandLine& line);
int RunFont(const CommandLine& line);
int RunMachineNumber(const CommandLine& line);

// Opens the job's port; false with the dialogs' words in the job.
inline bool OpenJobPort(Job& job)
{
    return OpenChosenPort(job.port, &job.message);
}
// The file a job sends, read whole for its digest: false with the reason in
// the job when it cannot be sent.
bool ReadSendFile(const std::string& path, Job& job);
