// Serial ports over pseudo-terminals: OpenPorts(1) with the user's settings
// and time-outs, exclusive opens, devices that are no serial line, the
// temporary download speed and its reset. (The time-outs OpenPorts sets are
// checked here by value; how a line keeps them is the platform's serial test.)
#include "platform/comdevices.h"
#include "port/port.h"
#include "sim/pty.h"
#include "support/roots.h"
#include "support/temp_dir.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using testsupport::RootGuard;
using testsupport::TempDir;

namespace {

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(printer.ok()) << printer.error();
        ASSERT_TRUE(PlatSetComDevice("COM1", printer.slavePath()));
        InitPort();
        // The user's choice: 115200 baud, 8 bits, no parity, 1 stop bit, no flow.
        gComInfo = {4, 9, 3, 2, 0, FLOW_NONE};
        SetComConfig(&gCurrentComConfig, sizeof gCurrentComConfig);
    }
    void TearDown() override
    {
        PortRelease();
        ClearPortRecord(gCurrentPort);
    }

    // True when nobody holds COM `name` (an open of it succeeds).
    static bool ComIsFree(const char* name)
    {
        HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }

    TempDir tmp;
    RootGuard config{PlatRoot::Config, tmp.path()};
    sim::SerialPrinter printer;
};

// The user's settings reach the line, with the program's time-outs; hardware
// flow is RTS/CTS on the line. (How each DCB field reaches the line is the
// platform's serial test; the selections' DCB, the port model test.)
TEST_F(SerialTest, HardwareFlowGivesRtsCtsOnTheLine)
{
    for (BYTE flow : {FLOW_NONE, FLOW_HARDWARE}) {
        SCOPED_TRACE(flow);
        gComInfo.flow = flow;
        SetComConfig(&gCurrentComConfig, sizeof gCurrentComConfig);
        ASSERT_TRUE(OpenPorts(PORT_SERIAL));
        EXPECT_STREQ(gCurrentPort.name, "COM1");
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_IDLE);
        EXPECT_EQ(printer.currentLine().baud, 115200u);
        EXPECT_EQ(printer.currentLine().rtscts, flow == FLOW_HARDWARE);
        COMMTIMEOUTS timeouts = {};
        ASSERT_TRUE(GetCommTimeouts(gCurrentPort.handle, &timeouts));
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 3000u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 5000u);
        EXPECT_EQ(timeouts.ReadIntervalTimeout, 200u);
    }
}

// An open that fails leaves no handle and the record closed: a port another
// opener holds, a device that is no serial line; nothing is left holding the
// device. (Which devices are no serial line: the platform's serial test.)
TEST_F(SerialTest, AFailedOpenLeavesNoHandle)
{
    const std::string file = tmp.path() + "/plain-file";
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    HANDLE other = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    for (const std::string& device : {std::string(), file}) {
        SCOPED_TRACE(device.empty() ? "held by another opener" : device);
        if (!device.empty()) {
            ASSERT_TRUE(PlatSetComDevice("COM1", device));
        }
        gCurrentPort.state.store(PORT_STATE_IDLE);
        EXPECT_FALSE(OpenPorts(PORT_SERIAL));
        EXPECT_STREQ(gCurrentPort.name, "COM1");
        EXPECT_EQ(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_CLOSED);
    }
    CloseHandle(other);
    ASSERT_TRUE(PlatSetComDevice("COM1", file));
    EXPECT_TRUE(ComIsFree("COM1"));
}

// PortRelease closes the handle once and leaves the record's name and state.
TEST_F(SerialTest, PortReleaseClosesOnceAndLeavesTheState)
{
    ASSERT_TRUE(OpenPorts(PORT_SERIAL));
    PortRelease();
    EXPECT_EQ(gCurrentPort.handle, nullptr);
    EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_IDLE);
    EXPECT_STREQ(gCurrentPort.name, "COM1");
    EXPECT_TRUE(ComIsFree("COM1"));
    PortRelease();
    EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_IDLE);
}

// Reopened inside a transfer, the record never looks idle or closed: the
// user-interface thread takes either as leave to open another port. The
// download speed switch and its reset keep the user's choice in gComInfo
// and, after the reset, in the store. (What the line carries during a
// download: the font download's dialog test.)
TEST_F(SerialTest, ReopeningInsideATransferKeepsTheRecordBusy)
{
    ASSERT_TRUE(OpenPorts(PORT_SERIAL));
    // The rest is the sending thread's part, as in a download.
    std::thread transfer([&] {
        const ComSettings user = gComInfo;
        SetComBaudRate2(7, FLOW_HARDWARE);
        EXPECT_NE(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_BUSY);
        EXPECT_EQ(printer.currentLine().baud, 38400u);
        EXPECT_TRUE(ResetBaudRate());
        EXPECT_NE(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_BUSY);
        EXPECT_EQ(printer.currentLine().baud, 115200u);
        EXPECT_FALSE(printer.currentLine().rtscts);
        EXPECT_EQ(std::memcmp(&gComInfo, &user, sizeof user), 0);
        COMMCONFIG stored = {};
        DWORD size = sizeof stored;
        EXPECT_TRUE(GetDefaultCommConfigA("COM1", &stored, &size));
        EXPECT_EQ(stored.dcb.BaudRate, 115200u);

        ASSERT_TRUE(OpenPorts(PORT_SERIAL));
        EXPECT_NE(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_BUSY);

        ASSERT_TRUE(PlatSetComDevice("COM1", tmp.path() + "/gone"));
        EXPECT_FALSE(OpenPorts(PORT_SERIAL));
        EXPECT_EQ(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_BUSY);

        // The download speed on a port that is gone leaves no handle either, and
        // the record busy for the transfer it starts.
        gCurrentPort.state.store(PORT_STATE_IDLE);
        SetComBaudRate2(5, FLOW_HARDWARE);
        EXPECT_EQ(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_BUSY);
        EXPECT_FALSE(ResetBaudRate());
        EXPECT_EQ(gCurrentPort.handle, nullptr);

        // Outside a transfer a failed open leaves the record closed, as ever.
        gCurrentPort.state.store(PORT_STATE_IDLE);
        EXPECT_FALSE(OpenPorts(PORT_SERIAL));
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_CLOSED);
    });
    transfer.join();
}

} // namespace
