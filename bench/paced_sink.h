// A printer node read at a printer's pace, for the benchmarks that send to
// one: a pseudo-terminal whose master a sink thread reads at a fixed rate,
// the CPU a sender spends meanwhile, and the reference every sender is held
// against, a plain loop of blocking 256-byte writes to the same kind of node.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr size_t kPlainBlock = 256;

// CPU seconds on a clock (the process's, or one thread's).
double CpuSeconds(clockid_t clock);

// The process's CPU time less that of the sink's thread, which stands for
// the printer and is no part of the sender.
struct CpuSample {
    Clock::time_point wall{};
    double cpu = 0;
};
CpuSample SampleCpu();
// CPU over wall time between two samples, as a share of one core.
double CoreShare(const CpuSample& from, const CpuSample& to);
// Each live thread's CPU seconds and write calls so far, by thread id.
struct ThreadUse {
    double cpu = 0;
    long long writes = 0;
};
struct ThreadSample {
    std::vector<std::pair<long, ThreadUse>> threads;
};
ThreadSample SampleThreads();
// The CPU between two samples split by who spent it, each as a share of one
// core over `wallSeconds`: the window's thread (the process's first), the
// thread that made the most writes (the sender), and all the others; the
// sink's thread is left out.
struct CpuSplit {
    double window = 0;
    double sender = 0;
    double others = 0;
};
CpuSplit SplitCpu(const ThreadSample& from, const ThreadSample& to, double wallSeconds);
// A sink's thread calls this first, so its own CPU time is left out of
// SampleCpu; SinkThreadEnded once it was joined.
void SinkThreadStarts();
void SinkThreadEnded();
// A sink's thread lives on until `stop`, so its CPU clock can be read
// after the last byte (a finished thread's clock is gone).
void HoldUntil(const std::atomic<bool>& stop);

// How a paced sink ends: on its own once it has every byte, or when the
// send failed; its thread then lives on until released. `lastByte` is when
// it read its last byte, valid once `finished`.
struct SinkControl {
    std::atomic<bool> giveUp{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> release{false};
    Clock::time_point lastByte{};
};

// Reads a printer node at `bytesPerSecond` from its first byte on, as a
// printer takes bytes at its link's pace: every millisecond it takes what the
// time since the last allows. What it could not take because nothing was
// there is lost, so a sender that falls behind lowers the rate; a tick that
// comes late (a busy machine) only takes more. Returns the rate got (bytes
// per second), 0 when it did not get `total` bytes. Closes `fd`.
double PacedDrain(int fd, double bytesPerSecond, size_t total, SinkControl& control);

// A pseudo-terminal standing as a printer node at `node` (a symbolic link to
// its slave); its master's fd, or -1.
int OpenPacedNode(const std::string& node);

// Waits until the sink finished (giving it up first when `failed`), then
// releases and joins its thread and removes the node.
void EndPacedSink(SinkControl& control, std::thread& sink, const std::string& node, bool failed);

struct PlainResult {
    double rate = 0;      // what the sink got, bytes per second; 0 when not all came
    double coreShare = 0; // the loop's CPU over its wall time, share of one core
    double cpuSeconds = 0;
};
// Where the plain loop runs: on a thread of this process, beside the sink's
// (as the console's sending thread runs), or in a process of its own (as
// mptest-cli does, and a switch between processes costs more).
enum class PlainIn { Thread, Process };
// The reference: a command file's `bytes`, from memory, in a plain loop of
// blocking 256-byte writes (as dd bs=256 does) to a node at `node` read at `bytesPerSecond`, its line
// raw as mptest sets it.
PlainResult PlainPaced(const std::string& node, size_t bytes, double bytesPerSecond, PlainIn where = PlainIn::Thread);

// A command file's `bytes` printable bytes, and the file itself.
std::vector<char> CommandBytes(size_t bytes);
void WriteCommandFile(const std::string& path, size_t bytes);

} // namespace bench
