// The programs as a technician starts them: mptest without a display says so
// plainly and ends with 1; the command-line tools keep Qt's chatter to
// themselves.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The programs sit in the build folder, one above this test program.
fs::path ProgramPath(const char* name)
{
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / name;
}

struct Result {
    int exitCode = -1; // 128 + signal when killed; -1 when it did not end in time
    std::string out, err;
};

// Runs a program to its end with its environment less `unset`, collecting
// what it writes.
Result RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& unset)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool drop = false;
        for (const std::string& name : unset)
            drop = drop || entry.rfind(name + "=", 0) == 0;
        if (!drop)
            env.push_back(entry);
    }
    std::vector<char*> envp, argv;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int out[2], err[2];
    Result r;
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    pid_t pid = -1;
    const bool started = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    close(err[1]);
    // Read both pipes until both close, within a bound.
    const auto end = std::chrono::steady_clock::now() + 60s;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&r.out, &r.err};
    int open = 2;
    while (started && open > 0 && std::chrono::steady_clock::now() < end) {
        if (poll(fds, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                into[i]->append(buf, size_t(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    close(out[0]);
    close(err[0]);
    if (!started)
        return r;
    int status = 0;
    if (open > 0)
        kill(pid, SIGKILL); // it hung: the test fails on the exit code
    waitpid(pid, &status, 0);
    if (open == 0)
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

TEST(Start, WithoutADisplayMptestSaysSoAndEndsWithOne)
{
    const fs::path mptest = ProgramPath("mptest");
    if (!fs::exists(mptest))
        GTEST_SKIP() << "mptest is not built at " << mptest;
    const Result r =
        RunProgram({mptest.string()}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("没有可用的图形显示"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("scripts/run"), std::string::npos) << r.err; // the way to the headless demo
    EXPECT_EQ(r.err.find("Reinstalling"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("XDG_RUNTIME_DIR"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(Start, CommandLineToolsKeepQtsChatterToThemselves)
{
    const fs::path printer = ProgramPath("mptest-printer");
    if (!fs::exists(printer))
        GTEST_SKIP() << "mptest-printer is not built at " << printer;
    char tmpl[] = "/tmp/mptest-start-XXXXXX";
    const fs::path dir = mkdtemp(tmpl);
    const Result r = RunProgram({printer.string(), "decode", "/proc/self/cmdline", "--out", (dir / "out").string()},
                         {"XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    fs::remove_all(dir);
}

} // namespace
