// USB printer discovery under a test device root: the usblp entries in
// <Sys>/class/usbmisc and their nodes <Dev>/usb/lpN, here pseudo-terminals
// of the virtual printer.
#include "platform/comdevices.h"
#include "port/port.h"
#include "port/usb.h"
#include "port/usb_system.h"
#include "sim/pty.h"
#include "support/roots.h"
#include "support/temp_dir.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

using testsupport::RootGuard;
using testsupport::TempDir;
using std::chrono::milliseconds;

namespace {

class UsbTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        PortRelease();
        ClearPortRecord(gCurrentPort);
    }

    std::unique_ptr<sim::UsbPrinter> AddPrinter(int index)
    {
        auto printer = std::make_unique<sim::UsbPrinter>(root, index);
        EXPECT_TRUE(printer->ok()) << printer->error();
        return printer;
    }

    std::string Node(int index) const { return root + "/dev/usb/lp" + std::to_string(index); }

    TempDir tmp;
    std::string root = tmp.path();
    RootGuard dev{PlatRoot::Dev, root + "/dev"};
    RootGuard sys{PlatRoot::Sys, root + "/sys"};
};

// The first free printer in numeric order (lp2 before lp10) is used. Skipped:
// entries that name no printer (another usbmisc device, a listed printer
// whose node is gone, names that are not lpN) and a printer another program
// holds. Each row has printers of its own.
TEST_F(UsbTest, FirstFreePrinterInNumericOrderIsUsed)
{
    struct Case {
        const char* what;
        std::vector<int> printers;
        std::vector<int> held; // by another program
        int used;              // -1: there is no printer to open
    } cases[] = {
        {"entries that name no printer", {}, {}, -1},
        {"numeric order", {10, 2}, {}, 2},
        {"a busy printer", {0, 1}, {0}, 1},
        {"every printer busy", {0, 1}, {0, 1}, -1},
    };
    EXPECT_EQ(OpenUsbPort(), INVALID_HANDLE_VALUE); // no usbmisc folder at all
    for (const char* entry : {"hiddev0", "lp5", "lp", "lpx1"})
        tmp.mkdirs(std::string("sys/class/usbmisc/") + entry);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<sim::UsbPrinter>> printers;
        for (int index : c.printers)
            printers.push_back(AddPrinter(index));
        std::vector<int> holders;
        for (int index : c.held) {
            holders.push_back(::open(Node(index).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
            EXPECT_EQ(flock(holders.back(), LOCK_EX | LOCK_NB), 0);
        }
        HANDLE handle = OpenUsbPort();
        EXPECT_EQ(handle != INVALID_HANDLE_VALUE, c.used >= 0);
        if (handle != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(std::string(completeDeviceName), Node(c.used) + "\\PIPE02");
            CloseHandle(handle);
        }
        for (int fd : holders)
            ::close(fd);
    }
}

// Another interface class finds nothing. (That the bare device is closed
// before the pipe opens: every open of a printer above.)
TEST_F(UsbTest, DeviceFileNameOfAnotherClassFindsNothing)
{
    auto lp0 = AddPrinter(0);
    char path[256];
    ASSERT_TRUE(GetUsbDeviceFileName(&GUID_CLASS_I82930_BULK, path));
    GUID other = GUID_CLASS_I82930_BULK;
    other.Data1 ^= 1;
    EXPECT_FALSE(GetUsbDeviceFileName(&other, path));
}

// OpenPorts(2) fills the record, the same name each time; it closes the
// previous port first, even when no printer is found.
TEST_F(UsbTest, OpenPortsUsbFillsTheRecordOrClosesThePreviousPort)
{
    RootGuard config(PlatRoot::Config, root + "/config");
    sim::SerialPrinter serial;
    ASSERT_TRUE(serial.ok()) << serial.error();
    ASSERT_TRUE(PlatSetComDevice("COM1", serial.slavePath()));
    gComInfo.port = 4;
    ASSERT_TRUE(OpenPorts(PORT_SERIAL));
    EXPECT_FALSE(OpenPorts(PORT_USB));
    EXPECT_EQ(gCurrentPort.handle, nullptr);
    EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_CLOSED);
    HANDLE com = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(com, INVALID_HANDLE_VALUE) << "the serial port was left open";
    CloseHandle(com);

    auto lp0 = AddPrinter(0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(OpenPorts(PORT_USB));
        EXPECT_STREQ(gCurrentPort.name, "USB001");
        EXPECT_EQ(gCurrentPort.type, PORT_USB);
        EXPECT_NE(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_IDLE);
        EXPECT_EQ(std::string(completeDeviceName), Node(0) + "\\PIPE02");
    }
}

// A device root so deep that the paths brush against the 256-byte limit.
class UsbLongPathTest : public UsbTest {
protected:
    static std::string DeepRoot(const std::string& base, size_t nodeLength)
    {
        // <root>/dev/usb/lp0 is nodeLength characters long.
        std::string root = base;
        const size_t tail = std::strlen("/dev/usb/lp0");
        while (root.size() + tail < nodeLength) {
            // Components of 1 to 59 characters; never leave a remainder of 1.
            const size_t remaining = nodeLength - tail - root.size();
            const size_t step = remaining <= 60 ? remaining : (remaining - 60 >= 2 ? 60 : 50);
            root += "/" + std::string(step - 1, 'd');
        }
        std::filesystem::create_directories(root);
        return root;
    }
};

TEST_F(UsbLongPathTest, PathThatLeavesNoRoomForThePipeFails)
{
    struct Case {
        size_t nodeLength; // length of the bare device path
        bool opens;
    };
    // The pipe path adds 7 characters ("\PIPE02") and needs its NUL.
    const Case cases[] = {
        {248, true},   // 255 characters + NUL: fits exactly
        {249, false},  // one more: no room
        {255, false},  // the bare path fits, the pipe path does not
        {300, false},  // not even the bare path fits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nodeLength);
        TempDir base;
        const std::string deep = DeepRoot(base.path(), c.nodeLength);
        ASSERT_EQ((deep + "/dev/usb/lp0").size(), c.nodeLength);
        RootGuard devRoot(PlatRoot::Dev, deep + "/dev");
        RootGuard sysRoot(PlatRoot::Sys, deep + "/sys");
        sim::UsbPrinter printer(deep, 0);
        ASSERT_TRUE(printer.ok()) << printer.error();

        std::memset(completeDeviceName, 'q', sizeof completeDeviceName);
        HANDLE handle = OpenUsbPort();
        const size_t length = strnlen(completeDeviceName, sizeof completeDeviceName);
        ASSERT_LT(length, sizeof completeDeviceName) << "completeDeviceName lost its NUL";
        if (c.opens) {
            ASSERT_NE(handle, INVALID_HANDLE_VALUE);
            EXPECT_EQ(length, 255u);
            CloseHandle(handle);
        } else {
            EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
        }
    }
}

} // namespace
