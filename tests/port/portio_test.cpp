// The Linux port-I/O layer: which backend it chooses from what the system
// shows, and the contract of reads and writes when there is no port.
#include "port/linux/portio_backend.h"
#include "port/portio.h"
#include "support/parallel_backend.h"
#include "support/roots.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

using testsupport::RootGuard;
using testsupport::TempDir;

namespace {

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

class PortIoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmp.mkdirs("dev");
        tmp.mkdirs("proc/self");
    }
    void TearDown() override
    {
        ShutdownWinIo();
        PortIoFailInitForTest(false);
    }

    TempDir tmp;
    RootGuard dev{PlatRoot::Dev, tmp.path() + "/dev"};
    RootGuard proc{PlatRoot::Proc, tmp.path() + "/proc"};
};

// A PC without a parallel port still starts: the layer is ready, with no
// port. Raw access needs both the capability and a port listed at 0x378.
TEST_F(PortIoTest, NoUsablePortStillInitialises)
{
    struct Case {
        const char* what;
        bool plainNode; // <Dev>/parport0 a plain file
        const char* capEff;
        const char* ioports;
    } cases[] = {
        {"no parallel port", false, "0000000000000000", "03f8-03ff : serial\n"},
        {"a node that is no parallel port", true, "0000000000000000", "03f8-03ff : serial\n"},
        {"port listed, no capability", false, "0000000000000000", "0378-037a : parport0\n"},
        {"capability, no port listed", false, "0000000000020000", "03f8-03ff : serial\n"},
        {"capability, port at another base", false, "0000000000020000", "0278-027a : parport1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.plainNode)
            WriteFile(tmp.path() + "/dev/parport0", "");
        else
            std::remove((tmp.path() + "/dev/parport0").c_str());
        WriteFile(tmp.path() + "/proc/self/status", std::string("Name:\tmptest\nCapEff:\t") + c.capEff + "\n");
        WriteFile(tmp.path() + "/proc/ioports", c.ioports);
        ASSERT_TRUE(InitializeWinIo());
        EXPECT_STREQ(PortIoBackendName(), "none");
        EXPECT_FALSE(PortIoHasRawAccess());
        for (WORD port : {LPT_DATA, LPT_STATUS, LPT_CONTROL, LPT_EPP_DATA, LPT_ECR}) {
            SCOPED_TRACE(port);
            DWORD value = 0xAB;
            EXPECT_FALSE(GetPortVal(port, &value, 1));
            EXPECT_EQ(value, 0u);
            EXPECT_FALSE(SetPortVal(port, 0x55, 1));
        }
        ShutdownWinIo();
    }
}

// A layer that fails to start, or one not started or shut down, reaches
// nothing.
TEST_F(PortIoTest, BeforeInitialisationAndAfterShutdownNothingIsReached)
{
    PortIoFailInitForTest(true);
    EXPECT_FALSE(InitializeWinIo());
    EXPECT_STREQ(PortIoBackendName(), "");
    DWORD value = 7;
    EXPECT_FALSE(GetPortVal(LPT_STATUS, &value, 1));
    EXPECT_EQ(value, 0u);
    PortIoFailInitForTest(false);

    sim::ParallelPort printer;
    testsupport::SimParallelBackend backend(printer);
    {
        testsupport::BackendGuard guard(&backend);
        EXPECT_STREQ(PortIoBackendName(), "sim");
        EXPECT_TRUE(GetPortVal(LPT_STATUS, &value, 1));
        EXPECT_EQ(value, printer.peekStatus() | 0u);
    }
    EXPECT_STREQ(PortIoBackendName(), "");
    EXPECT_FALSE(SetPortVal(LPT_DATA, 1, 1));
    EXPECT_TRUE(backend.writes().empty());
}

TEST_F(PortIoTest, OnlyOneByteAccessesAreSupported)
{
    sim::ParallelPort printer;
    testsupport::SimParallelBackend backend(printer);
    testsupport::BackendGuard guard(&backend);
    DWORD value = 3;
    EXPECT_FALSE(GetPortVal(LPT_STATUS, &value, 2));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(SetPortVal(LPT_DATA, 0x1234, 4));
    EXPECT_FALSE(GetPortVal(LPT_STATUS, nullptr, 1));
    // A one-byte write takes the low byte.
    EXPECT_TRUE(SetPortVal(LPT_DATA, 0x1234, 1));
    EXPECT_EQ(printer.dataLatch(), 0x34);
}

} // namespace
