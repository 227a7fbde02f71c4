// The toolbox on real Win32 windows: its four pages over the tab control,
// one shown at a time, and the picture page's preview as a monochrome
// bitmap the static shows, dot for dot, from a picture stb_image decoded
// here as on Linux.
#include "platform/win32.h"

#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/tools/tools.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 24-bit BMP of width x 8 pixels, its left `black` columns black.
std::string Bmp(int width, int black)
{
    const int row = width * 3, size = 54 + row * 8;
    std::string bmp(54, '\0');
    auto put = [&bmp](size_t at, int value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, width, 4);
    put(22, 8, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < width; ++x)
            bmp.append(3, x < black ? '\0' : '\xFF');
    return bmp;
}

void SelectTab(HWND dialog, HWND tab, int index)
{
    SendMessageA(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    NMHDR header{tab, static_cast<UINT_PTR>(IDC_TL_TAB), TCN_SELCHANGE};
    SendMessageA(dialog, WM_NOTIFY, IDC_TL_TAB, reinterpret_cast<LPARAM>(&header));
}

} // namespace

TEST(WindowsTools, PagesAndThePreviewDotForDot)
{
    InitPort();
    UtilInit();
    InitCommonControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TOOLS), nullptr, bToolsDlgProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    HWND tab = GetDlgItem(dialog, IDC_TL_TAB);
    ASSERT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), kToolsPageCount);
    for (int shown : {0, 2, 3, 1, 0})
        for (int i = 0; i < kToolsPageCount; ++i) {
            SelectTab(dialog, tab, shown);
            EXPECT_EQ(IsWindowVisible(gTools.pages[static_cast<size_t>(i)]) != FALSE, i == shown) << shown << " " << i;
        }

    const std::string file = Bmp(24, 5);
    std::string error;
    ASSERT_TRUE(DecodeImage({reinterpret_cast<const BYTE*>(file.data()), file.size()}, &gTools.source, &error))
        << error;
    HWND page = gTools.pages[0];
    SetDlgItemTextA(page, IDC_IM_WIDTH, "24");
    SendDlgItemMessageA(page, IDC_IM_DITHER, CB_SETCURSEL, 0, 0); // threshold
    handleImagePreview(page);
    const auto shown = reinterpret_cast<HBITMAP>(SendDlgItemMessageA(page, IDC_IM_PREVIEW, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown, gTools.preview);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(shown, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 24);
    EXPECT_EQ(info.bmHeight, 8);
    EXPECT_EQ(info.bmBitsPixel, 1);
    // Rows of 16-bit words, a clear bit black: 5 black dots, then white.
    std::vector<BYTE> bits(static_cast<size_t>(info.bmWidthBytes) * 8);
    ASSERT_EQ(GetBitmapBits(shown, static_cast<LONG>(bits.size()), bits.data()), static_cast<LONG>(bits.size()));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ((bits[static_cast<size_t>(y * info.bmWidthBytes + x / 8)] >> (7 - x % 8)) & 1, x < 5 ? 0 : 1)
                << x << "," << y;

    SendMessageA(dialog, WM_CLOSE, 0, 0);
    for (HWND p : gTools.pages)
        EXPECT_EQ(p, nullptr);
    EXPECT_EQ(gTools.preview, nullptr);
    DestroyWindow(dialog);
    UtilRelease();
}
