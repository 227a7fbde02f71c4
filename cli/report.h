// What mptest-cli says about a job: the progress on standard error, one
// line or one JSON object on standard output, and the exit code.
#pragma once

#include "cli/port_choice.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// Set for the run from the command line; read by every job.
extern bool gCliJson;
extern bool gCliQuiet;
// A stop request (Ctrl-C, SIGTERM, SIGHUP): the running job ends as the
// console's stop ends a send.
extern std::atomic<bool> gCliStop;

struct Job {
    std::string name;
    PortChoice port;
    uint64_t bytes = 0;
    std::string sha256;
    bool ok = false;
    bool stopped = false;
    std::string message;
    // With --log: whether the printer took the job, and why the log did not.
    std::optional<bool> printerOk;
    std::string logError;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// The job's report and its exit code.
int Finish(const Job& job);
std::string JsonString(const std::string& text);
// `format` with one unsigned number, as the dialogs word their counts.
std::string Formatted(const char* format, uint64_t value);

// Progress on standard error: a bar on a terminal, else a line per 10 %.
// Each figure is shown once however often it is reported.
class Progress {
public:
    void start(bool shown);
    void show(double fraction, const std::string& detail);
    void end();

private:
    bool shown_ = false;
    bool terminal_ = false;
    bool drawn_ = false;
    int decile_ = 0;
    int lastPercent_ = -1;
    std::string lastDetail_;
};
extern Progress gProgress;
