// mptest --device-root DIR: the real program reaches the virtual printer's
// USB node under DIR, and the virtual printer's --as takes exactly the COM
// names the program lists.
#include "platform/comdevices.h"
#include "platform/linux/options.h"
#include "platform/linux/roots.h"
#include "port/port.h"
#include "port/usb.h"
#include "sim/pty.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using testsupport::TempDir;
using std::chrono::milliseconds;

namespace {

int TakeOptions(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return PlatTakeOptions(static_cast<int>(args.size()), argv.data());
}

class DeviceRoot : public ::testing::Test {
protected:
    void TearDown() override
    {
        PortRelease();
        ClearPortRecord(gCurrentPort);
        PlatSetRootPath(PlatRoot::Dev, "");
        PlatSetRootPath(PlatRoot::Sys, "");
    }
    TempDir tmp;
};

TEST_F(DeviceRoot, TheProgramReachesTheVirtualUsbPrinter)
{
    sim::UsbPrinter printer(tmp.path(), 0);
    ASSERT_TRUE(printer.ok()) << printer.error();
    EXPECT_EQ(OpenUsbPort(), INVALID_HANDLE_VALUE); // the machine's own roots have no such printer

    ASSERT_EQ(TakeOptions({"mptest", "--device-root", tmp.path()}), -1);
    EXPECT_TRUE(OpenPorts(PORT_USB));
    EXPECT_TRUE(printer.waitForConnected(true, milliseconds(5000)));
    // A COM port without a stored device stands for a line under the root
    // too, never the machine's own.
    EXPECT_EQ(PlatComDevice("COM1"), tmp.path() + "/dev/ttyS0");
}

TEST_F(DeviceRoot, BadOptionsAreRefused)
{
    struct Case { std::vector<std::string> args; int exitCode; } cases[] = {
        {{"mptest"}, -1},
        {{"mptest", "--help"}, 0},
        {{"mptest", "--device-root"}, 2},
        {{"mptest", "--device-root", "/proc/self/status"}, 2}, // a file
        {{"mptest", "--bogus"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(TakeOptions(c.args), c.exitCode);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        // A refusal says why and how it is used; --help only how.
        EXPECT_EQ(err.empty(), c.exitCode != 2) << err;
        EXPECT_EQ((out + err).find("--device-root DIR") != std::string::npos, c.exitCode >= 0);
        EXPECT_EQ(PlatRootPath(PlatRoot::Dev), "/dev");
    }
}

// The printer ended and took away the folder it made: the program starts,
// says so once, and reaches the printer when it runs there again.
TEST_F(DeviceRoot, AGoneRootStartsWithAWarning)
{
    const std::string gone = tmp.path() + "/ended";
    testing::internal::CaptureStderr();
    ASSERT_EQ(TakeOptions({"mptest", "--device-root", gone}), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::vector<std::string> warnings = PlatTakeStartWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("设备根目录 " + gone + " 不存在"), std::string::npos) << warnings[0];
    EXPECT_NE(err.find(warnings[0]), std::string::npos) << err;
    EXPECT_EQ(PlatRootPath(PlatRoot::Dev), gone + "/dev");

    sim::UsbPrinter printer(gone, 0);
    ASSERT_TRUE(printer.ok()) << printer.error();
    EXPECT_TRUE(OpenPorts(PORT_USB));
    EXPECT_TRUE(printer.waitForConnected(true, milliseconds(5000)));
}

TEST(ComNames, ThePrinterTakesExactlyTheNamesTheProgramLists)
{
    std::vector<std::string> listed;
    for (const MapEntry& row : gLptComNameMap)
        if (std::string(row.text).rfind("COM", 0) == 0)
            listed.push_back(row.text);
    ASSERT_EQ(listed.size(), 7u);
    for (const std::string& name : listed)
        EXPECT_TRUE(sim::isComName(name)) << name;
    for (const char* name : {"COM0", "COM8", "COM257", "LPT1", "COM 1", "", "com1", "COM01"})
        EXPECT_FALSE(sim::isComName(name)) << name;
}

} // namespace
