// The programs as a technician starts them. mptest without a display says so
// plainly and ends with 1. mptest-printer keeps Qt's chatter to itself,
// decodes a capture into its three outputs, refuses bad arguments before it
// starts anything, and however its session ends leaves its outputs complete
// and the serial store as it found it.
#include "support/fd_io.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonDocument>
#include <QJsonValue>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::ReadText;
using testsupport::TempDir;

namespace {

// The programs sit in the build folder, one above this test program.
std::string ProgramPath(const char* name)
{
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / name).string();
}

struct Child {
    pid_t pid = -1;
    int out = -1; // its stdout, when that is not written to a file
};

// Starts args[0] through env(1), which first changes this process's
// environment by `env` ("NAME=value" sets a variable, "NAME" removes it), in
// the folder `cwd` when one is given. Its stdout and stderr go to the files
// `outputs`.out and .err when given, else to a pipe and to /dev/null (nobody
// reads stderr while it runs).
Child Launch(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& cwd,
             const std::string& outputs = {})
{
    std::vector<std::string> command{"/usr/bin/env"};
    for (const std::string& change : env) {
        if (change.find('=') == std::string::npos)
            command.push_back("-u");
        command.push_back(change);
    }
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : command)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    Child c;
    int out[2] = {-1, -1};
    if (outputs.empty() && pipe2(out, O_CLOEXEC) != 0)
        return c;
    const std::string outFile = outputs + ".out", errFile = outputs + ".err";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (outputs.empty())
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, outputs.empty() ? "/dev/null" : errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    if (posix_spawn(&c.pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    if (outputs.empty()) {
        close(out[1]);
        c.out = out[0];
    }
    return c;
}

// The exit status, or -1 when the program did not end in time (then killed).
int WaitExit(pid_t pid, std::chrono::milliseconds timeout)
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

struct Result {
    int exitCode = -1; // 128 + signal when killed; -1 when it did not end in time
    std::string out, err;
};

// Runs a program to its end (at most 60 s), collecting what it writes.
Result RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const std::string& cwd = {})
{
    const TempDir outputs;
    const Child c = Launch(args, env, cwd, outputs / "run");
    if (c.pid < 0)
        return {};
    const int exitCode = WaitExit(c.pid, 60s);
    return {exitCode, ReadText(outputs / "run.out"), ReadText(outputs / "run.err")};
}

std::string ReadLine(int fd, std::chrono::milliseconds timeout)
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

// Asks the printer for its outputs until the transcript holds `text`. Each
// request waits for its paper.png (the last output written), so no writing
// is under way when this returns.
bool DumpUntilSeen(pid_t pid, const fs::path& out, const std::string& text)
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
        if (ReadText(out / "transcript.txt").find(text) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

TEST(Start, WithoutADisplayMptestSaysSoAndEndsWithOne)
{
    const std::string mptest = ProgramPath("mptest");
    if (!fs::exists(mptest))
        GTEST_SKIP() << "mptest is not built at " << mptest;
    const Result r = RunToEnd({mptest}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("没有可用的图形显示"), std::string::npos) << r.err;
    // The way on without a display, for an installed program: the package
    // ships mptest-cli, not the source tree's scripts.
    EXPECT_NE(r.err.find("没有显示器时请用 mptest-cli"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("mptest-cli does every job"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("scripts/"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Reinstalling"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("XDG_RUNTIME_DIR"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

// mptest-printer with its serial store in a private folder.
class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(printer))
            GTEST_SKIP() << "mptest-printer is not built at " << printer;
    }
    std::string conf() const { return dir / "cfg/mptest/serial.conf"; }
    std::string configHome() const { return "XDG_CONFIG_HOME=" + (dir / "cfg"); }
    // The device COMn opens by the store as it stands: the newest claim,
    // else the user's mapping (whether a claim's printer still runs is not
    // looked at here).
    std::string mapped(const std::string& com) const
    {
        std::istringstream lines(ReadText(conf()));
        std::string line, device, claimed;
        bool in = false;
        while (std::getline(lines, line)) {
            if (line.rfind("[", 0) == 0)
                in = line == "[" + com + "]";
            else if (in && line.rfind("device=", 0) == 0)
                device = line.substr(7);
            else if (in && line.rfind("claim.", 0) == 0)
                claimed = line.substr(line.find('=') + 1);
        }
        return claimed.empty() ? device : claimed;
    }
    const std::string printer = ProgramPath("mptest-printer");
    TempDir dir;
};

// Qt's complaints about a missing XDG_RUNTIME_DIR or platform stay inside.
TEST_F(Program, DecodeWritesTheThreeOutputs)
{
    const char bytes[] = "\x1b@\x1c\xaa\x1a" "ABCdef123456" "\x1b\x70\x01\x33\x00" "HELLO\n\x1c\xaa\x55\x01" "abc";
    const std::string capture = dir.writeFile("capture.bin", {bytes, bytes + sizeof bytes - 1});
    const Result r = RunToEnd({printer, "decode", capture, "--out", dir / "out"}, {"XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    // What the outputs hold is the decoder's and the renderer's business.
    EXPECT_NE(ReadText(dir / "out/transcript.txt").find("TEXT \"HELLO\""), std::string::npos);
    const QJsonDocument state = QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(dir / "out/state.json")));
    EXPECT_EQ(state["downloads"][0]["kind"].toString(), "firmware");
    // The paper holds the lines once: a 16-bit picture once drew each line
    // of text a second time, further right.
    const QImage paper(QString::fromStdString(dir / "out/paper.png"));
    ASSERT_GE(paper.width(), 384);
    int rightmostBlack = -1;
    for (int y = 0; y < paper.height(); ++y)
        for (int x = 0; x < 384; ++x)
            if (qGray(paper.pixel(x, y)) < 128)
                rightmostBlack = std::max(rightmostBlack, x);
    EXPECT_GT(rightmostBlack, 40);
    EXPECT_LT(rightmostBlack, 5 * 12); // HELLO, five 12-dot cells

    // Both drawers kicked after the last line: both notes in the margin.
    const std::string kicks = dir.writeFile(
        "kicks.bin", {'A', '\n', 'B', '\n', 'C', '\n', 'D', '\n', 0x1B, 'p', 0, 50, 50, 0x1B, 'p', 1, 50, 50});
    ASSERT_EQ(RunToEnd({printer, "decode", kicks, "--out", dir / "kicks"}, {"XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"}).exitCode, 0);
    const QImage kicked(QString::fromStdString(dir / "kicks/paper.png"));
    int firstNoteRow = -1, lastNoteRow = -1;
    for (int y = 0; y < kicked.height(); ++y)
        for (int x = 384; x < kicked.width(); ++x)
            if (qGray(kicked.pixel(x, y)) < 128) {
                firstNoteRow = firstNoteRow < 0 ? y : firstNoteRow;
                lastNoteRow = y;
            }
    EXPECT_GT(lastNoteRow - firstNoteRow, 14) << "two notes, one under the other";
}

TEST_F(Program, RefusesBadArguments)
{
    const std::string statusText = "paper-low\njam\n";
    const std::string badStatus = dir.writeFile("status", {statusText.begin(), statusText.end()});

    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* names; // what the one line names
    } cases[] = {
        {{}, 2, "no mode"},
        {{"print"}, 2, "print"},
        {{"decode"}, 2, "FILE"},
        {{"decode", "/no/such/file", "--out", "x"}, 1, "/no/such/file"},
        {{"serial", "--width", "500"}, 2, "--width"},
        {{"serial", "--answer-preamble", "maybe"}, 2, "--answer-preamble"},
        {{"usb", "--out", "x"}, 2, "--root"},
        {{"serial", "--bogus", "1"}, 2, "--bogus"},
        {{"serial", "--bogus"}, 2, "--bogus"},
        {{"serial", "--out"}, 2, "--out"},
        {{"usb", "--root", "r", "--as", "COM1"}, 2, "--as"},
        {{"serial", "--status", "jammed"}, 2, "--status"},
        {{"serial", "--status-file", "/no/such/file"}, 1, "/no/such/file"},
        {{"serial", "--status-file", badStatus}, 1, ":2: unknown state \"jam\""},
        // Every bad path: a one-line error and 1, never an abort.
        {{"decode", "/tmp", "--out", "x"}, 1, "/tmp"},
        {{"decode", "/etc/hostname", "--out", "/etc/hostname/out"}, 1, "/etc/hostname/out"},
        {{"serial", "--out", "/etc/hostname/out"}, 1, "/etc/hostname/out"},
        {{"usb", "--root", "/etc/hostname/root", "--out", "x"}, 1, "/etc/hostname/root"},
        // Only the names mptest offers (the whole rule: the COM name test).
        {{"serial", "--as", "COM0"}, 2, "COM0"},
        {{"serial", "--as", ""}, 2, "--as"},
        // The network printer's options, for it alone, and its address.
        {{"tcp"}, 2, "--listen"},
        {{"tcp", "--listen", "localhost:9100"}, 2, "localhost:9100"},
        {{"serial", "--listen", "127.0.0.1:0"}, 2, "--listen"},
        {{"tcp", "--listen", "127.0.0.1:0", "--busy", "queue"}, 2, "--busy"},
        {{"tcp", "--listen", "127.0.0.1:0", "--drop-idle", "0"}, 2, "--drop-idle"},
        {{"usb", "--root", "r", "--drop-idle", "5"}, 2, "--drop-idle"},
        // The printer's IDs: a byte each, the type's bits 4 and 7 clear.
        {{"serial", "--model", "256"}, 2, "--model"},
        {{"serial", "--firmware-version", "1.0"}, 2, "--firmware-version"},
        {{"serial", "--type", "0x10"}, 2, "--type 0x10"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{printer};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Result r = RunToEnd(args, {configHome()}, dir.path());
        EXPECT_EQ(r.exitCode, c.exit) << r.err;
        EXPECT_EQ(r.out, ""); // refused before any session began
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err; // in one line
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("see --help") != std::string::npos, c.exit == 2) << r.err;
    }
    EXPECT_FALSE(fs::exists(conf())); // a refused --as records nothing

    const Result version = RunToEnd({printer, "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("mptest-printer ", 0), 0u) << version.out;
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1) << version.out;
}

using Session = Program;

// However the printer ends, its outputs are complete, COM1 is given back
// (the store as a person keeps it, byte for byte, and nothing beside it) and
// its USB entries are gone.
TEST_F(Session, EveryEndingCleansUp)
{
    const std::string before = "; mine\n[General]\nx=1\n\n[COM1]\ndevice=/dev/ttyUSB0\nnote=keep\n";
    struct Case {
        const char* what;
        int signal; // 0: the sender closes the line and --exit-on-close ends it
        bool usb;
        bool atOnce = false;            // the sender writes and closes before the printer looks
        std::vector<std::string> there; // folders under the device root before it starts
    } cases[] = {
        {"SIGTERM", SIGTERM, false}, {"SIGINT", SIGINT, false}, {"SIGHUP", SIGHUP, false},
        {"SIGQUIT", SIGQUIT, false}, {"end of input", 0, false}, {"end of input at once", 0, false, true},
        {"usb, SIGHUP", SIGHUP, true}, {"usb, SIGQUIT", SIGQUIT, true},
        {"usb, into folders that were there", SIGTERM, true, false, {"dev/usb", "sys/class/usbmisc/lp0/device"}},
    };
    fs::create_directories(fs::path(conf()).parent_path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.writeFile("cfg/mptest/serial.conf", {before.begin(), before.end()});
        const fs::path out = fs::path(dir.path()) / "out" / c.what;
        const std::string root = dir / "root";
        for (const std::string& folder : c.there)
            fs::create_directories(fs::path(root) / folder);
        const auto tree = [&] {
            std::vector<std::string> paths;
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
                 it.increment(ec))
                paths.push_back(it->path().string());
            std::sort(paths.begin(), paths.end());
            return paths;
        };
        const std::vector<std::string> treeBefore = tree();
        std::vector<std::string> args{printer};
        if (c.usb)
            args.insert(args.end(), {"usb", "--root", root});
        else
            args.insert(args.end(), {"serial", "--as", "COM1"});
        args.insert(args.end(), {"--out", out.string(), "--quiet", "100"});
        if (c.signal == 0)
            args.push_back("--exit-on-close");
        Child r = Launch(args, {configHome()}, {});
        ASSERT_GT(r.pid, 0);
        const std::string first = ReadLine(r.out, 30s);
        ASSERT_EQ(first.rfind(c.usb ? "usb: " + root + "/dev/usb/lp" : "serial: /dev/pts/", 0), 0u) << first;
        const std::string slave = first.substr(first.find(' ') + 1);
        if (!c.usb) {
            EXPECT_EQ(mapped("COM1"), slave);
        }
        const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(write(fd, "PING\n", 5), 5);
        if (!c.atOnce) {
            // The printer has the bytes once it has decoded them: ask for the
            // outputs until the transcript shows them.
            EXPECT_TRUE(DumpUntilSeen(r.pid, out, "TEXT \"PING\""));
            fs::remove_all(out); // what the ending writes is checked below
        }
        close(fd); // the end of input, for --exit-on-close
        if (c.signal != 0)
            kill(r.pid, c.signal);
        EXPECT_EQ(WaitExit(r.pid, 30s), 0);
        close(r.out);
        EXPECT_NE(ReadText(out / "transcript.txt").find("TEXT \"PING\""), std::string::npos);
        EXPECT_TRUE(fs::exists(out / "paper.png"));
        EXPECT_TRUE(fs::exists(out / "state.json"));
        EXPECT_EQ(ReadText(conf()), before);
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(conf()).parent_path()), fs::directory_iterator()), 1);
        // Nothing it made is left, not even the folders on the way, and
        // everything that was there is.
        EXPECT_EQ(tree(), treeBefore);
        EXPECT_EQ(fs::exists(root), !c.there.empty());
        fs::remove_all(root);
    }
}

// The lost mapping: printers --as COM1 stopped in the order they started,
// or one killed outright, leave the user's own COM1 mapping as it was.
TEST_F(Session, TheUsersMappingOutlivesEveryPrinter)
{
    const std::string before = "[COM1]\ndevice=/dev/null\n";
    fs::create_directories(fs::path(conf()).parent_path());
    dir.writeFile("cfg/mptest/serial.conf", {before.begin(), before.end()});
    // Each printer's stdout and stderr go to files named after it.
    const auto start = [&](const std::string& name) {
        Child c = Launch({printer, "serial", "--as", "COM1", "--out", dir / name}, {configHome()}, {}, dir / name);
        std::string first;
        for (int i = 0; i < 3000 && first.find('\n') == std::string::npos; ++i) {
            std::this_thread::sleep_for(10ms); // a file has no event to wait on
            first = ReadText(dir / (name + ".out"));
        }
        first = first.substr(0, first.find('\n'));
        EXPECT_EQ(first.rfind("serial: ", 0), 0u) << first;
        EXPECT_EQ(mapped("COM1"), first.substr(first.find(' ') + 1));
        return c;
    };
    const auto stop = [](Child& c, int signal) {
        kill(c.pid, signal);
        EXPECT_EQ(WaitExit(c.pid, 30s), signal == SIGKILL ? 128 + SIGKILL : 0);
    };
    Child first = start("first");
    Child second = start("second");
    // The second says whose claim it hides; the first had none to hide.
    EXPECT_EQ(ReadText(dir / "first.err"), "");
    EXPECT_NE(ReadText(dir / "second.err").find("warning: COM1 belonged to the printer running as process " +
                                                std::to_string(first.pid) + ";"),
              std::string::npos)
        << ReadText(dir / "second.err");
    stop(first, SIGTERM);
    stop(second, SIGTERM);
    EXPECT_EQ(ReadText(conf()), before);

    // Killed outright, a printer cannot end its claim: the next one to
    // rewrite the store drops it.
    Child killed = start("killed");
    stop(killed, SIGKILL);
    Child next = start("next");
    stop(next, SIGTERM);
    EXPECT_EQ(ReadText(conf()), before);
}

// Several printers registering at once: every one is in the store, which
// they find through XDG_CONFIG_HOME and whose folder the first one makes.
TEST_F(Session, ConcurrentRegistrationsAreAllKept)
{
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        std::vector<Child> printers;
        for (int n = 1; n <= 7; ++n)
            printers.push_back(Launch({printer, "serial", "--as", "COM" + std::to_string(n), "--out",
                                       dir / ("out" + std::to_string(n))},
                                      {configHome()}, {}));
        for (int n = 1; n <= 7; ++n) {
            const Child& p = printers[size_t(n - 1)];
            ASSERT_GT(p.pid, 0);
            const std::string first = ReadLine(p.out, 30s);
            ASSERT_EQ(first.rfind("serial: ", 0), 0u) << first;
            EXPECT_EQ(mapped("COM" + std::to_string(n)), first.substr(8));
        }
        for (Child& p : printers) {
            kill(p.pid, SIGTERM);
            EXPECT_EQ(WaitExit(p.pid, 30s), 0);
            close(p.out);
        }
        EXPECT_EQ(ReadText(conf()), "");
    }
}

// The conditions a technician sets: --status from the start, the status
// file's added and reread on SIGUSR2. Each DLE EOT request is answered on the
// line and named in the transcript with its answer.
TEST_F(Session, StatusRequestsAnswerTheConditionsSet)
{
    const auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    const std::string file = dir.writeFile("status", text("# set by hand\npaper-out\n"));
    Child r = Launch({printer, "serial", "--status", "offline", "--status-file", file, "--out", dir / "out"},
                     {configHome()}, {});
    ASSERT_GT(r.pid, 0);
    const std::string first = ReadLine(r.out, 30s);
    ASSERT_EQ(first.rfind("serial: ", 0), 0u) << first;
    const int fd = open(first.substr(8).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    // The answer to DLE EOT n, or -1 when none came within 5 s.
    const auto ask = [&](uint8_t n) {
        const uint8_t request[] = {0x10, 0x04, n};
        if (write(fd, request, sizeof request) != ssize_t(sizeof request))
            return -1;
        const std::vector<uint8_t> answer = testsupport::ReadFor(fd, 1, 5s).bytes;
        return answer.empty() ? -1 : int(answer[0]);
    };
    EXPECT_EQ(ask(1), 0x1E); // offline
    EXPECT_EQ(ask(4), 0x7E); // paper out
    fs::rename(dir.writeFile("status.new", text("cover-open\n")), file); // never read half written
    kill(r.pid, SIGUSR2);
    // The reread is not seen from here: ask until the answer changes.
    int cover = -1;
    for (int i = 0; i < 100 && cover != 0x16; ++i)
        cover = ask(2);
    EXPECT_EQ(cover, 0x16);
    EXPECT_EQ(ask(4), 0x12); // paper back
    EXPECT_EQ(ask(1), 0x1E); // --status offline stays
    close(fd);
    kill(r.pid, SIGTERM);
    EXPECT_EQ(WaitExit(r.pid, 30s), 0);
    close(r.out);
    const std::string transcript = ReadText(dir / "out/transcript.txt");
    for (const char* line : {"10 04 04  DLE EOT 4 (paper roll sensor) -> 7E\n", "10 04 02  DLE EOT 2 (offline cause) -> 16\n"})
        EXPECT_NE(transcript.find(line), std::string::npos) << line;
}

// The network printer: it names the port it picked, answers on the
// connection, and writes its outputs at the end.
TEST_F(Session, TcpPrinterAnswersOnItsConnectionAndAKilledOneResetsIt)
{
    const auto start = [&](const std::string& out) {
        Child c = Launch({printer, "tcp", "--listen", "127.0.0.1:0", "--status", "offline", "--model", "0x42", "--out",
                          dir / out},
                         {configHome()}, {});
        const std::string first = ReadLine(c.out, 30s);
        EXPECT_EQ(first.rfind("tcp: 127.0.0.1:", 0), 0u) << first;
        const int fd = testsupport::ConnectTcp("127.0.0.1", uint16_t(std::atoi(first.substr(15).c_str())));
        EXPECT_GE(fd, 0);
        return std::pair{c, fd};
    };
    auto [answering, fd] = start("answering");
    const uint8_t asks[] = {'P', 'I', 'N', 'G', 0x0A, 0x10, 0x04, 0x01, 0x1D, 0x49, 0x01};
    ASSERT_EQ(send(fd, asks, sizeof asks, MSG_NOSIGNAL), ssize_t(sizeof asks));
    EXPECT_EQ(testsupport::ReadFor(fd, 2, 5s).bytes, (std::vector<uint8_t>{0x1E, 0x42}));
    close(fd);
    kill(answering.pid, SIGTERM);
    EXPECT_EQ(WaitExit(answering.pid, 30s), 0);
    close(answering.out);
    const std::string transcript = ReadText(dir / "answering/transcript.txt");
    for (const char* line : {"TEXT \"PING\"", "1D 49 01  GS I printer ID 1 (model) -> 42", "tcp: 127.0.0.1:"})
        EXPECT_NE(transcript.find(line), std::string::npos) << line;
    const QJsonDocument state = QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(dir / "answering/state.json")));
    EXPECT_EQ(state["connections"]["accepted"].toInt(), 1);

    // Killed, it leaves its client's connection dead: writes fail, none hangs.
    auto [killed, sender] = start("killed");
    ASSERT_EQ(send(sender, asks, sizeof asks, MSG_NOSIGNAL), ssize_t(sizeof asks));
    kill(killed.pid, SIGKILL);
    EXPECT_EQ(WaitExit(killed.pid, 30s), 128 + SIGKILL);
    int failure = 0;
    for (int i = 0; i < 3 && failure == 0; ++i)
        failure = send(sender, asks, sizeof asks, MSG_NOSIGNAL) < 0 ? errno : 0;
    EXPECT_TRUE(failure == ECONNRESET || failure == EPIPE) << failure;
    close(sender);
    close(killed.out);
}
