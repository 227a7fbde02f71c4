// The per-system halves of the hardware contracts on a Windows without a
// port-I/O library and without a USB printer: the program starts, and every
// attempt fails cleanly.
#include "port/portio.h"
#include "port/usb.h"
#include "port/usb_system.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsPortIo, WithoutTheLibraryEveryRegisterAccessFails)
{
    ASSERT_TRUE(InitializeWinIo()); // the program starts all the same
    const WORD registers[] = {LPT_DATA, LPT_STATUS, LPT_CONTROL, LPT_EPP_DATA, LPT_ECR};
    for (WORD port : registers) {
        DWORD value = 0xA5A5;
        EXPECT_FALSE(GetPortVal(port, &value, 1)) << std::hex << port;
        EXPECT_EQ(value, 0u) << std::hex << port;
        EXPECT_FALSE(SetPortVal(port, 0x55, 1)) << std::hex << port;
    }
    EXPECT_FALSE(PortIoHasRawAccess()); // the NT family never lets a program at the ports
    EXPECT_FALSE(LptProbeLoad());
    ShutdownWinIo();
    ShutdownWinIo(); // twice is harmless
}

TEST(WindowsUsb, NoPrinterMeansNoHandleAndNoPath)
{
    char path[USB_PATH_SIZE] = "unchanged";
    EXPECT_FALSE(GetUsbDeviceFileName(&GUID_CLASS_I82930_BULK, path));
    EXPECT_STREQ(path, ""); // every search writes the path from its start
    EXPECT_EQ(OpenUsbPort(), INVALID_HANDLE_VALUE);
}

} // namespace
