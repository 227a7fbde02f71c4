// Tests of the program mptest-printer: decode writes its three outputs, bad
// arguments are refused, and the serial mode ends cleanly on SIGTERM with
// what it received in its transcript.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <termios.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// mptest-printer sits in the build folder, one above this test program.
fs::path programPath()
{
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "mptest-printer";
}

struct Child {
    pid_t pid = -1;
    int out = -1; // the program's stdout
};

Child spawn(const std::vector<std::string>& args, bool quietStderr = true, const fs::path& cwd = {})
{
    Child r;
    int pipefd[2];
    if (pipe(pipefd) != 0)
        return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
    posix_spawn_file_actions_addclose(&fa, pipefd[0]);
    if (quietStderr)
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&r.pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
        r.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(pipefd[1]);
    r.out = pipefd[0];
    return r;
}

// The exit status, or -1 when the program did not end in time (then killed).
int waitExit(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(10ms); // polling a child: there is no event to wait on
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

std::string readLine(int fd, std::chrono::milliseconds timeout)
{
    std::string line;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        char c;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line.push_back(c);
    }
    return line;
}

std::string readAll(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

using testsupport::TempDir;

// Asks the printer for its outputs until the transcript holds `text`. Each
// request waits for its paper.png (the last output written), so no writing
// is under way when this returns.
bool dumpUntilSeen(pid_t pid, const fs::path& out, const std::string& text)
{
    for (int i = 0; i < 100; ++i) {
        std::error_code ec;
        fs::remove(out / "paper.png", ec);
        kill(pid, SIGUSR1);
        bool written = false;
        for (int wait = 0; wait < 1500 && !written; ++wait) {
            std::this_thread::sleep_for(20ms); // no event crosses the process boundary
            written = fs::exists(out / "paper.png");
        }
        if (!written)
            return false;
        if (readAll(out / "transcript.txt").find(text) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(programPath()))
            GTEST_SKIP() << "mptest-printer is not built at " << programPath();
    }
    TempDir dir;
};

TEST_F(Program, DecodeWritesTheThreeOutputs)
{
    const fs::path capture = fs::path(dir.path()) / "capture.bin";
    {
        std::ofstream f(capture, std::ios::binary);
        const char bytes[] = "\x1b@\x1c\xaa\x1a" "ABCdef123456" "\x1b\x70\x01\x33\x00" "HELLO\n\x1c\xaa\x55\x01" "abc";
        f.write(bytes, sizeof bytes - 1);
    }
    Child r = spawn({programPath().string(), "decode", capture.string(), "--out", (dir / "out")});
    ASSERT_GT(r.pid, 0);
    EXPECT_EQ(waitExit(r.pid, 30s), 0);
    close(r.out);
    const std::string transcript = readAll(fs::path(dir.path()) / "out/transcript.txt");
    EXPECT_NE(transcript.find("machine number \"ABCdef123456\""), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("TEXT \"HELLO\""), std::string::npos);
    EXPECT_NE(readAll(fs::path(dir.path()) / "out/state.json").find("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
              std::string::npos);
    EXPECT_GT(fs::file_size(fs::path(dir.path()) / "out/paper.png"), 0u);
}

TEST_F(Program, RefusesBadArguments)
{
    struct Case {
        std::vector<std::string> args;
        int exit;
    } cases[] = {
        {{}, 2},
        {{"print"}, 2},
        {{"decode"}, 2},
        {{"decode", "/no/such/file", "--out", "x"}, 1},
        {{"serial", "--width", "500"}, 2},
        {{"serial", "--answer-preamble", "maybe"}, 2},
        {{"usb", "--out", "x"}, 2},
        {{"serial", "--bogus", "1"}, 2},
        // Every bad path: a one-line error and 1, never an abort.
        {{"decode", "/tmp", "--out", "x"}, 1},
        {{"decode", "/etc/hostname", "--out", "/etc/hostname/out"}, 1},
        {{"serial", "--out", "/etc/hostname/out"}, 1},
        {{"usb", "--root", "/etc/hostname/root", "--out", "x"}, 1},
        // Only the names mptest offers (the whole name rule: the serial
        // store's and the COM name tests).
        {{"serial", "--as", "COM0"}, 2},
        {{"serial", "--as", ""}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{programPath().string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Child r = spawn(args, true, dir.path());
        ASSERT_GT(r.pid, 0);
        std::string all;
        for (const auto& a : c.args)
            all += a + " ";
        EXPECT_EQ(waitExit(r.pid, 30s), c.exit) << all;
        // Refused before any session began.
        EXPECT_EQ(readLine(r.out, 100ms), "") << all;
        close(r.out);
    }
}

TEST_F(Program, SerialEndsOnSigtermWithItsOutputs)
{
    Child r = spawn({programPath().string(), "serial", "--out", (dir / "out")});
    ASSERT_GT(r.pid, 0);
    const std::string first = readLine(r.out, 30s);
    ASSERT_EQ(first.rfind("serial: /dev/pts/", 0), 0u) << first;
    const std::string slave = first.substr(8);
    {
        const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        const char bytes[] = "\x1b@PING\n";
        EXPECT_EQ(write(fd, bytes, sizeof bytes - 1), ssize_t(sizeof bytes - 1));
        close(fd);
    }
    // The printer has the bytes once it has decoded them: ask for the
    // outputs until the transcript shows them.
    EXPECT_TRUE(dumpUntilSeen(r.pid, fs::path(dir.path()) / "out", "TEXT \"PING\""));
    kill(r.pid, SIGTERM);
    EXPECT_EQ(waitExit(r.pid, 30s), 0);
    close(r.out);
    EXPECT_NE(readAll(fs::path(dir.path()) / "out/transcript.txt").find("TEXT \"PING\""), std::string::npos);
    EXPECT_TRUE(fs::exists(fs::path(dir.path()) / "out/paper.png"));
}

// Runs a printer whose serial store is a private folder.
class Session : public Program {
protected:
    void SetUp() override
    {
        Program::SetUp();
        const char* old = std::getenv("XDG_CONFIG_HOME");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_CONFIG_HOME", (fs::path(dir.path()) / "cfg").c_str(), 1);
        fs::create_directories(conf().parent_path());
    }
    void TearDown() override
    {
        if (saved_)
            setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    fs::path conf() const { return fs::path(dir.path()) / "cfg/mptest/serial.conf"; }
    // The device COMn maps to in the store as it stands.
    std::string mapped(const std::string& com)
    {
        const std::string text = readAll(conf());
        const size_t at = text.find("[" + com + "]\ndevice=");
        if (at == std::string::npos)
            return {};
        const size_t from = at + com.size() + 10;
        return text.substr(from, text.find('\n', from) - from);
    }

private:
    std::optional<std::string> saved_;
};

// However the printer ends, its outputs are complete, COM1 is given back
// and its USB entries are gone.
TEST_F(Session, EveryEndingCleansUp)
{
    const std::string before = "[COM1]\ndevice=/dev/ttyUSB0\n";
    struct Case {
        const char* what;
        int signal; // 0: the sender closes the line and --exit-on-close ends it
        bool usb;
    } cases[] = {
        {"SIGTERM", SIGTERM, false}, {"SIGINT", SIGINT, false}, {"SIGHUP", SIGHUP, false},
        {"SIGQUIT", SIGQUIT, false}, {"end of input", 0, false}, {"usb, SIGHUP", SIGHUP, true},
        {"usb, SIGQUIT", SIGQUIT, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::ofstream f(conf());
            f << before;
        }
        const fs::path out = fs::path(dir.path()) / "out" / c.what;
        const fs::path root = fs::path(dir.path()) / "root";
        std::vector<std::string> args{programPath().string()};
        if (c.usb)
            args.insert(args.end(), {"usb", "--root", root.string()});
        else
            args.insert(args.end(), {"serial", "--as", "COM1"});
        args.insert(args.end(), {"--out", out.string(), "--quiet", "100"});
        if (c.signal == 0)
            args.push_back("--exit-on-close");
        Child r = spawn(args);
        ASSERT_GT(r.pid, 0);
        const std::string first = readLine(r.out, 30s);
        const std::string slave = first.substr(first.find(' ') + 1);
        ASSERT_FALSE(slave.empty()) << first;
        if (!c.usb) {
            EXPECT_EQ(mapped("COM1"), slave);
        }
        const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(write(fd, "PING\n", 5), 5);
        // The printer has the bytes once it has decoded them: ask for the
        // outputs until the transcript shows them.
        EXPECT_TRUE(dumpUntilSeen(r.pid, out, "TEXT \"PING\""));
        fs::remove_all(out); // what the ending writes is checked below
        close(fd); // the end of input, for --exit-on-close
        if (c.signal != 0)
            kill(r.pid, c.signal);
        EXPECT_EQ(waitExit(r.pid, 30s), 0);
        close(r.out);
        EXPECT_NE(readAll(out / "transcript.txt").find("TEXT \"PING\""), std::string::npos);
        EXPECT_TRUE(fs::exists(out / "paper.png"));
        EXPECT_TRUE(fs::exists(out / "state.json"));
        EXPECT_EQ(readAll(conf()), before);
        // Nothing it made is left, not even the folders on the way.
        EXPECT_FALSE(fs::exists(root));
    }
}

// Several printers registering at once: every one is in the store.
TEST_F(Session, ConcurrentRegistrationsAreAllKept)
{
    for (int round = 0; round < 5; ++round) {
        std::vector<Child> printers;
        for (int n = 1; n <= 7; ++n)
            printers.push_back(spawn({programPath().string(), "serial", "--as", "COM" + std::to_string(n), "--out",
                                      (fs::path(dir.path()) / ("out" + std::to_string(n))).string()}));
        std::vector<std::string> slaves;
        for (Child& p : printers) {
            ASSERT_GT(p.pid, 0);
            const std::string first = readLine(p.out, 30s);
            slaves.push_back(first.substr(first.find(' ') + 1));
        }
        for (int n = 1; n <= 7; ++n)
            EXPECT_EQ(mapped("COM" + std::to_string(n)), slaves[size_t(n - 1)]) << "round " << round;
        for (Child& p : printers) {
            kill(p.pid, SIGTERM);
            EXPECT_EQ(waitExit(p.pid, 30s), 0);
            close(p.out);
        }
        EXPECT_EQ(readAll(conf()), "") << "round " << round;
    }
}
