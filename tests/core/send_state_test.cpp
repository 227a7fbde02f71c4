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

// The release frees and closes what the record holds, leaves the port idle
// and sets the idle event a dialog's close waits for; a second release
// touches nothing opened since.
TEST_F(SendState, OutputBufReleaseTwiceReleasesOnceAndLeavesThePortIdle)
{
    EXPECT_EQ(WaitForSingleObject(hOutputBufIdle, 0), DWORD(WAIT_OBJECT_0)); // no send yet
    HANDLE file = OpenFile();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ResetEvent(hOutputBufIdle); // as when a send is accepted
    gCurOutputBuf.pData = static_cast<BYTE*>(std::calloc(16, 1));
    gCurOutputBuf.hFile = file;
    gCurrentPort.state = PORT_STATE_BUSY;

    OutputBufRelease();
    EXPECT_EQ(gCurOutputBuf.pData, nullptr);
    EXPECT_EQ(gCurOutputBuf.hFile, nullptr);
    EXPECT_FALSE(IsOpen(file));
    EXPECT_EQ(gCurrentPort.state, PORT_STATE_IDLE);
    EXPECT_EQ(WaitForSingleObject(hOutputBufIdle, 0), DWORD(WAIT_OBJECT_0));

    HANDLE other = OpenFile();
    OutputBufRelease();
    EXPECT_TRUE(IsOpen(other));
    EXPECT_EQ(gCurrentPort.state, PORT_STATE_IDLE);
    UtilRelease(); // nor does the release at exit
    EXPECT_TRUE(IsOpen(other));
    EXPECT_EQ(hOutputBufIdle, nullptr);
    CloseHandle(other);
}

// A dialog's stop request (set inside the section) ends the waits on the
// printer of a repeating send, and of nothing else.
TEST_F(SendState, AStopRequestEndsTheWaitsOfARepeatingSendOnly)
{
    struct Case { const char* what; WORD flags; BYTE state; bool ends; } cases[] = {
        {"repeating send", SEND_MODE_FILE | SEND_LOOP, PORT_STATE_BUSY, true},
        {"single pass: runs to its end", SEND_MODE_FILE | SEND_ONCE, PORT_STATE_BUSY, false},
        {"no send running", SEND_MODE_CMDS | SEND_LOOP, PORT_STATE_IDLE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PortClearAbort();
        gCurOutputBuf.wFlags = c.flags;
        gCurrentPort.state = c.state;
        EnterSplSem();
        gStopSendFlag = 1;
        LeaveSplSem();
        // A stop ends only what the printer holds up: it is no abort.
        EXPECT_EQ(PortStopRequested() != FALSE, c.ends);
        EXPECT_FALSE(PortAbortRequested());
        EXPECT_EQ(WaitForSingleObject(PortAbortEvent(), 0) == WAIT_OBJECT_0, c.ends);
        EXPECT_EQ(gStopSendFlag, 1); // the request itself stays for the thread
        gStopSendFlag = 0;
    }
    // The owner may enter the lock again, as with a Windows critical section.
    EnterSplSem();
    EnterSplSem();
    LeaveSplSem();
    LeaveSplSem();
    PortClearAbort();
    UtilRelease();
}

TEST_F(SendState, UtilReleaseClosesAHeldFileOnceAndLeavesThePortState)
{
    HANDLE file = OpenFile();
    gCurOutputBuf.hFile = file;
    gCurrentPort.state = PORT_STATE_BUSY;
    UtilRelease();
    EXPECT_EQ(gCurOutputBuf.hFile, nullptr);
    EXPECT_EQ(gCurrentPort.state, PORT_STATE_BUSY) << "exit does not touch the port state";
    EXPECT_FALSE(CloseHandle(file)) << "closed already, and only once";
}

} // namespace
