// The send state: releasing the output record, at the end of a send and at
// exit, frees and closes what it holds exactly once.
#include "port/port.h"
#include "send/send.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

bool IsOpen(HANDLE handle)
{
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    return !(GetFileSize(handle, &high) == INVALID_FILE_SIZE && GetLastError() == ERROR_INVALID_HANDLE);
}

class SendState : public ::testing::Test {
protected:
    void SetUp() override
    {
        UtilInit();
        gCurOutputBuf = OutputBuffer{};
        ClearPortRecord(gCurrentPort);
        path_ = std::filesystem::temp_directory_path() / ("mptest-state-" + std::to_string(::getpid()));
        std::ofstream(path_) << "data";
    }
    void TearDown() override
    {
        gCurOutputBuf = OutputBuffer{};
        std::filesystem::remove(path_);
    }
    HANDLE OpenFile() const
    {
        return CreateFileA(path_.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    std::filesystem::path path_;
};

TEST_F(SendState, OutputBufReleaseTwiceReleasesOnceAndLeavesThePortIdle)
{
    HANDLE file = OpenFile();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    gCurOutputBuf.pData = static_cast<BYTE*>(std::calloc(16, 1));
    gCurOutputBuf.hFile = file;
    gCurrentPort.state = PORT_STATE_BUSY;

    OutputBufRelease();
    EXPECT_EQ(gCurOutputBuf.pData, nullptr);
    EXPECT_EQ(gCurOutputBuf.hFile, nullptr);
    EXPECT_FALSE(IsOpen(file));
    EXPECT_EQ(gCurrentPort.state, PORT_STATE_IDLE);

    // A file opened since must not be touched by a second release.
    HANDLE other = OpenFile();
    OutputBufRelease();
    EXPECT_TRUE(IsOpen(other));
    EXPECT_EQ(gCurrentPort.state, PORT_STATE_IDLE);
    CloseHandle(other);
    UtilRelease();
}

TEST_F(SendState, UtilReleaseClosesAHeldFileOnceAndLeavesThePortState)
{
    HANDLE file = OpenFile();
    gCurOutputBuf.hFile = file;
    gCurrentPort.state = PORT_STATE_BUSY;
    UtilRelease();
    EXPECT_FALSE(IsOpen(file));
    EXPECT_EQ(gCurOutputBuf.hFile, nullptr);
    EXPECT_EQ(gCurrentPort.state, PORT_STATE_BUSY) << "exit does not touch the port state";
    EXPECT_FALSE(CloseHandle(file)) << "closed already, and only once";
}

TEST_F(SendState, UtilReleaseAfterACompletedSendFreesNothing)
{
    gCurOutputBuf.pData = static_cast<BYTE*>(std::calloc(16, 1));
    OutputBufRelease();
    HANDLE other = OpenFile();
    UtilRelease();
    EXPECT_TRUE(IsOpen(other));
    CloseHandle(other);
}

TEST_F(SendState, TheLockIsRecursiveAndGuardsTheStopFlag)
{
    EnterSplSem();
    EnterSplSem(); // the owner may enter again, as with a Windows critical section
    gStopSendFlag = 1;
    LeaveSplSem();
    LeaveSplSem();
    EXPECT_EQ(gStopSendFlag, 1);
    gStopSendFlag = 0;
    UtilRelease();
}

} // namespace
