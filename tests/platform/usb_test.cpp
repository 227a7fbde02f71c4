// USB printer nodes: a pseudo-terminal linked as <Dev>/usb/lp0 stands in for
// the usblp node, its master side for the printer.
#include "support.h"

using namespace testplat;

namespace {

class UsbNode : public PtyLine {
protected:
    // The program shares a USB printer's node for reading and writing.
    static HANDLE Open(const std::string& path, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE)
    {
        return PtyLine::Open(path, share);
    }
};

// The bare node and its pipe paths open the same node, one opener at a time.
TEST_F(UsbNode, BareNodeAndPipePathOpenTheSameNode)
{
    for (const std::string& path : {usbNode, usbNode + "\\PIPE02", usbNode + "\\PIPE00"}) {
        SCOPED_TRACE(path);
        HANDLE h = Open(path);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(h, "\x1b\x40", 2, &n, nullptr));
        EXPECT_EQ(n, 2u);
        EXPECT_EQ(pty.Drain(2), "\x1b\x40");
        EXPECT_TRUE(CloseHandle(h));
    }
    // Not a node: lp without a number, or something after it.
    EXPECT_EQ(Open(dir / "dev/usb/lpx"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open(dir / "dev/usb/lp1\\PIPE02"), INVALID_HANDLE_VALUE); // absent
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A busy node is a sharing violation whatever the share mode. (A node
    // another program holds is skipped: the port layer's USB test.)
    HANDLE a = Open(usbNode + "\\PIPE02");
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    for (DWORD share : {0u, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
        EXPECT_EQ(Open(usbNode, share), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    CloseHandle(a);
}

} // namespace
