#include "bench/paced_sink.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace bench {

namespace {

std::atomic<bool> gSinkClockSet{false};
clockid_t gSinkClock{};
std::atomic<long> gSinkThread{0};

// A number after `key` in a /proc file, -1 when it is not there.
long long ProcNumber(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    std::string word;
    while (in >> word)
        if (word == key && in >> word)
            return std::stoll(word);
    return -1;
}

} // namespace

double CpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

CpuSample SampleCpu()
{
    CpuSample s{Clock::now(), CpuSeconds(CLOCK_PROCESS_CPUTIME_ID)};
    if (gSinkClockSet)
        s.cpu -= CpuSeconds(gSinkClock);
    return s;
}

double CoreShare(const CpuSample& from, const CpuSample& to)
{
    const double wall = Seconds(to.wall - from.wall).count();
    return wall > 0 ? (to.cpu - from.cpu) / wall : 0;
}

ThreadSample SampleThreads()
{
    ThreadSample sample;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        const std::string dir = task.path().string();
        std::ifstream stat(dir + "/schedstat");
        long long ns = 0;
        if (!(stat >> ns))
            continue;
        sample.threads.emplace_back(std::stol(task.path().filename().string()),
                                    ThreadUse{static_cast<double>(ns) * 1e-9, ProcNumber(dir + "/io", "syscw:")});
    }
    return sample;
}

CpuSplit SplitCpu(const ThreadSample& from, const ThreadSample& to, double wallSeconds)
{
    CpuSplit split;
    if (wallSeconds <= 0)
        return split;
    long mostWrites = 0;
    long long writes = -1;
    std::vector<std::pair<long, ThreadUse>> used;
    for (const auto& [tid, now] : to.threads) {
        ThreadUse before;
        for (const auto& [old, use] : from.threads)
            if (old == tid)
                before = use;
        used.emplace_back(tid, ThreadUse{now.cpu - before.cpu, now.writes - before.writes});
        if (tid != getpid() && tid != gSinkThread && now.writes - before.writes > writes) {
            writes = now.writes - before.writes;
            mostWrites = tid;
        }
    }
    for (const auto& [tid, use] : used) {
        const double share = use.cpu / wallSeconds;
        if (tid == getpid())
            split.window += share;
        else if (tid == mostWrites)
            split.sender += share;
        else if (tid != gSinkThread)
            split.others += share;
    }
    return split;
}

void SinkThreadStarts()
{
    gSinkThread = static_cast<long>(gettid());
    pthread_getcpuclockid(pthread_self(), &gSinkClock);
    gSinkClockSet = true;
}

void SinkThreadEnded()
{
    gSinkClockSet = false;
}

void HoldUntil(const std::atomic<bool>& stop)
{
    while (!stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

double PacedDrain(int fd, double bytesPerSecond, size_t total, SinkControl& control)
{
    SinkThreadStarts();
    // Ticks short enough that one tick takes less than a pseudo-terminal
    // holds (about 2 KB here): a printer takes its bytes as they come.
    constexpr auto kTick = std::chrono::milliseconds(1);
    std::vector<char> buffer(1 << 16);
    for (pollfd p{fd, POLLIN, 0}; !control.giveUp && poll(&p, 1, 50) <= 0;) {
    }
    const auto start = Clock::now();
    auto last = start;
    auto next = start;
    double credit = 0;
    size_t got = 0;
    while (got < total && !control.giveUp) {
        next += kTick;
        std::this_thread::sleep_until(next);
        const auto now = Clock::now();
        credit += bytesPerSecond * Seconds(now - last).count();
        last = now;
        while (credit >= 1 && got < total) {
            const size_t want = std::min({static_cast<size_t>(credit), total - got, buffer.size()});
            const ssize_t n = read(fd, buffer.data(), want);
            if (n <= 0) {
                credit = 0; // the node ran dry
                break;
            }
            // A pseudo-terminal hands over what it holds in pieces: a short
            // read is not a dry node, only one that gives nothing is.
            got += static_cast<size_t>(n);
            credit -= static_cast<double>(n);
        }
    }
    control.lastByte = Clock::now();
    close(fd);
    control.finished = true;
    HoldUntil(control.release);
    return got >= total ? static_cast<double>(got) / Seconds(last - start).count() : 0;
}

int OpenPacedNode(const std::string& node)
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || symlink(ptsname(fd), node.c_str()) != 0) {
        std::perror("the paced printer node");
        return -1;
    }
    return fd;
}

void EndPacedSink(SinkControl& control, std::thread& sink, const std::string& node, bool failed)
{
    // The node holds what the sink has yet to take.
    control.giveUp = failed;
    while (!control.finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    control.release = true;
    sink.join();
    SinkThreadEnded();
    std::filesystem::remove(node);
}

namespace {

// The node opened for the loop, raw as mptest sets a printer's line (a
// pseudo-terminal left cooked hands its bytes on sooner, which would favour
// the reference); -1 when it cannot be opened. Only calls a forked child may
// make.
int OpenPlainNode(const std::string& node)
{
    const int out = open(node.c_str(), O_WRONLY | O_NOCTTY);
    termios line{};
    if (out >= 0 && tcgetattr(out, &line) == 0) {
        cfmakeraw(&line);
        tcsetattr(out, TCSANOW, &line);
    }
    return out;
}

// The loop itself: the bytes it got out. It writes the file's bytes from
// memory as a sender of a file does, not one block again and again, which
// would stay in the processor's cache (a standalone writer to a
// pseudo-terminal took some 35 % less CPU that way).
size_t PlainLoop(int out, const std::vector<char>& data)
{
    const size_t bytes = data.size();
    size_t sent = 0;
    while (out >= 0 && sent < bytes) {
        const ssize_t n = write(out, data.data() + sent, std::min(kPlainBlock, bytes - sent));
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    return sent;
}

// The loop in a child process, which does nothing but open, write and end;
// its CPU seconds, negative when it did not send everything.
double PlainProcess(const std::string& node, const std::vector<char>& data)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = OpenPlainNode(node);
        _exit(PlainLoop(out, data) == data.size() ? 0 : 1);
    }
    int status = 0;
    rusage use{};
    if (pid < 0 || wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
}

} // namespace

PlainResult PlainPaced(const std::string& node, size_t bytes, double bytesPerSecond, PlainIn where)
{
    PlainResult result;
    const std::vector<char> data = CommandBytes(bytes);
    const int fd = OpenPacedNode(node);
    if (fd < 0)
        return result;
    SinkControl control;
    std::thread sink([&] { result.rate = PacedDrain(fd, bytesPerSecond, bytes, control); });
    bool sent = false;
    if (where == PlainIn::Process) {
        const auto start = Clock::now();
        result.cpuSeconds = PlainProcess(node, data);
        sent = result.cpuSeconds >= 0;
        result.coreShare = sent ? result.cpuSeconds / Seconds(Clock::now() - start).count() : 0;
        EndPacedSink(control, sink, node, !sent);
    } else {
        const int out = OpenPlainNode(node);
        const CpuSample from = SampleCpu();
        sent = PlainLoop(out, data) == bytes;
        const CpuSample to = SampleCpu();
        EndPacedSink(control, sink, node, !sent);
        if (out >= 0)
            close(out);
        result.coreShare = CoreShare(from, to);
        result.cpuSeconds = to.cpu - from.cpu;
    }
    if (!sent)
        result = PlainResult{};
    return result;
}

std::vector<char> CommandBytes(size_t bytes)
{
    std::vector<char> data(bytes);
    for (size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>('A' + i % 26);
    return data;
}

void WriteCommandFile(const std::string& path, size_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    const std::vector<char> data = CommandBytes(bytes);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

} // namespace bench
