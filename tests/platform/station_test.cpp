// The lock stations share a counter file under: another process that holds
// it keeps this one out until it lets go, the wait ends on time, and a
// rewrite leaves exactly the new content.
#include "platform/station.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Content(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(StationLock, AnotherProcessHoldingTheFileKeepsUsOutUntilItLetsGo)
{
    testsupport::TempDir dir;
    const std::string path = dir.path() + "/counter";
    std::ofstream(path) << "KQ5800000001\n";
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        std::string why;
        PlatLockedFile* file = PlatLockFile(path, 1000, &why);
        char byte = file != nullptr ? 'y' : 'n';
        (void)!write(ready[1], &byte, 1);
        (void)!read(release[0], &byte, 1);
        PlatUnlockFile(file);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    std::string why;
    EXPECT_EQ(PlatLockFile(path, 100, &why), nullptr);
    EXPECT_NE(why.find(path), std::string::npos);
    (void)!write(release[1], "x", 1);
    PlatLockedFile* file = PlatLockFile(path, 5000, &why);
    ASSERT_NE(file, nullptr) << why;
    int status = 0;
    waitpid(holder, &status, 0);

    std::string text;
    ASSERT_TRUE(PlatLockedRead(file, &text, &why));
    EXPECT_EQ(text, "KQ5800000001\n");
    ASSERT_TRUE(PlatLockedRewrite(file, "KQ2\n", &why)) << why;
    PlatUnlockFile(file);
    EXPECT_EQ(Content(path), "KQ2\n");
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}

TEST(StationLock, AMissingFileIsNamedNotCreated)
{
    testsupport::TempDir dir;
    std::string why;
    EXPECT_EQ(PlatLockFile(dir.path() + "/none", 100, &why), nullptr);
    EXPECT_NE(why.find("/none"), std::string::npos);
    EXPECT_FALSE(std::ifstream(dir.path() + "/none").good());
}
