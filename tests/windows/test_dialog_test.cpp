// The test dialog's real procedures on real Win32 windows: its tab pages are
// built from locked templates (DoLockDlgRes) and placed over the group box,
// one shown at a time, as the tab control's notifications select them.
#include "platform/win32.h"

#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/testprint/testprint.h"
#include "windows/screenshot.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
        // The page fills the tab's display area: no strip of it is left bare.
        RECT display{};
        GetWindowRect(tab, &display);
        SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
        EXPECT_GE(place.right, display.right);
        EXPECT_GE(place.bottom, display.bottom);
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

// The group box "测试项目" comes before the tab control in the template, so
// it would lie over the tab strip: the tab control is on top where they
// overlap and the group box paints round it, nothing has moved, and the
// radio buttons are still one keyboard group of their own.
TEST(WindowsTestDialog, TabStripLiesAboveItsGroupBox)
{
    InitPort();
    UtilInit();
    InitCommonControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST), nullptr, bTestDlgProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    HWND tab = GetDlgItem(dialog, IDC_T_TAB);
    HWND group = GetDlgItem(dialog, IDC_T_GROUP);
    ASSERT_NE(tab, nullptr);
    ASSERT_NE(group, nullptr);
    for (int i = 0; i < kTestPageCount; ++i) {
        RECT header{};
        ASSERT_TRUE(SendMessageA(tab, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&header)));
        POINT middle{(header.left + header.right) / 2, (header.top + header.bottom) / 2};
        MapWindowPoints(tab, dialog, &middle, 1);
        EXPECT_EQ(ChildWindowFromPointEx(dialog, middle, CWP_SKIPINVISIBLE), tab) << "tab " << i;
    }
    EXPECT_TRUE(GetWindowLongPtrA(group, GWL_STYLE) & WS_CLIPSIBLINGS);

    RECT wanted{7, 36, 286, 182}; // the template's place and size of the group box
    MapDialogRect(dialog, &wanted);
    RECT place{};
    GetWindowRect(group, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, wanted.left);
    EXPECT_EQ(place.top, wanted.top);
    EXPECT_EQ(place.right - place.left, wanted.right);
    EXPECT_EQ(place.bottom - place.top, wanted.bottom);

    // The network radio, placed beside 关闭, is the last of the radios' group.
    HWND serial = GetDlgItem(dialog, IDC_T_SERIAL);
    HWND network = GetDlgItem(dialog, IDC_T_NETWORK);
    EXPECT_EQ(GetNextDlgGroupItem(dialog, serial, FALSE), network);
    EXPECT_EQ(GetNextDlgGroupItem(dialog, network, FALSE), GetDlgItem(dialog, IDC_T_PARALLEL));
    if (const char* shot = std::getenv("MPTEST_TEST_DIALOG_SCREENSHOT")) {
        EXPECT_TRUE(SaveScreenshot(dialog, shot)) << shot;
    }

    SendMessageA(dialog, WM_CLOSE, 0, 0);
    DestroyWindow(dialog);
    UtilRelease();
}

} // namespace
