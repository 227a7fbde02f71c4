// The test dialog's real procedures on real Win32 windows: its tab pages are
// built from locked templates (DoLockDlgRes) and placed over the group box,
// one shown at a time, as the tab control's notifications select them.
#include "platform/win32.h"

#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/tests/tests.h"

#include <gtest/gtest.h>

namespace {

// What the tab control sends its parent when the user picks a tab.
void SelectTab(HWND dialog, HWND tab, int index)
{
    NMHDR header{tab, static_cast<UINT_PTR>(IDC_T_TAB), TCN_SELCHANGING};
    SendMessageA(dialog, WM_NOTIFY, IDC_T_TAB, reinterpret_cast<LPARAM>(&header));
    SendMessageA(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    header.code = TCN_SELCHANGE;
    SendMessageA(dialog, WM_NOTIFY, IDC_T_TAB, reinterpret_cast<LPARAM>(&header));
}

TEST(WindowsTestDialog, EachTabShowsItsPageOverTheGroupBox)
{
    InitPort();
    UtilInit();
    InitCommonControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST), nullptr, bTestDlgProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW); // as DialogBoxParamA shows it
    HWND tab = GetDlgItem(dialog, IDC_T_TAB);
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), kTestPageCount);
    ASSERT_NE(gTabPages[0], nullptr); // the first page is there from the start

    RECT firstPlace{};
    GetWindowRect(gTabPages[0], &firstPlace);
    for (int i = kTestPageCount - 1; i >= 0; --i) {
        SCOPED_TRACE(i);
        SelectTab(dialog, tab, i);
        HWND page = gTabPages[static_cast<size_t>(i)];
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(GetParent(page), dialog);
        EXPECT_TRUE(IsWindowVisible(page));
        RECT place{};
        GetWindowRect(page, &place);
        EXPECT_EQ(place.left, firstPlace.left);
        EXPECT_EQ(place.top, firstPlace.top);
        for (int j = 0; j < kTestPageCount; ++j) {
            if (j != i && gTabPages[static_cast<size_t>(j)] != nullptr) {
                EXPECT_FALSE(IsWindowVisible(gTabPages[static_cast<size_t>(j)])) << j;
            }
        }
    }

    SendMessageA(dialog, WM_CLOSE, 0, 0);
    for (HWND page : gTabPages)
        EXPECT_EQ(page, nullptr); // closing destroys every page
    DestroyWindow(dialog);
    UtilRelease();
}

} // namespace
