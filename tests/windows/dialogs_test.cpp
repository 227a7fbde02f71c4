// The program's dialog templates as real Win32 dialogs: every table row
// becomes a window of the right class, text and id, in table order; the main
// window gets its menu and picture; the lookups keep their contract.
#include "platform/windows/win.h"

#include "res/resource.h"
#include "res/templates.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A dialog procedure that records what reached it and does nothing else, so
// the windows are the template's alone.
struct Seen {
    int initDialogs = 0;
    LPARAM initParam = 0;
};

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    auto seen = reinterpret_cast<Seen*>(lParam);
    ++seen->initDialogs;
    seen->initParam = lParam;
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    return TRUE;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<HWND> ChildrenOf(HWND dialog)
{
    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    return children;
}

bool TextIsShown(const DlgItemTemplate& item)
{
    const std::string cls = item.cls;
    return item.imageId == 0 && (cls == "BUTTON" || cls == "STATIC" || cls == "EDIT");
}

struct Named {
    const char* label;
    LPCSTR name;
};

const Named kDialogs[] = {
    {"main", IDD_MAIN_DIALOG_NAME},
    {"about", MAKEINTRESOURCEA(IDD_ABOUT)},
    {"console", MAKEINTRESOURCEA(IDD_USER_CMD)},
    {"test", MAKEINTRESOURCEA(IDD_TEST)},
    {"test: characters", MAKEINTRESOURCEA(IDD_TEST_CHAR)},
    {"test: chinese", MAKEINTRESOURCEA(IDD_TEST_GBK)},
    {"test: black mark", MAKEINTRESOURCEA(IDD_TEST_BMARK)},
    {"test: other", MAKEINTRESOURCEA(IDD_TEST_OTHER)},
    {"test: current", MAKEINTRESOURCEA(IDD_TEST_DIANLIU)},
    {"test: usb library", MAKEINTRESOURCEA(IDD_TEST_USBLIB)},
    {"download: version", MAKEINTRESOURCEA(IDD_DOWN_VERSION)},
    {"download: font", MAKEINTRESOURCEA(IDD_DOWN_FONT)},
    {"download: machine number", MAKEINTRESOURCEA(IDD_DOWN_PRN_NUM)},
    {"port settings", MAKEINTRESOURCEA(IDD_PORT_SETTINGS)},
    {"epp console", MAKEINTRESOURCEA(IDD_EPP)},
};

class WindowsDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitCommonControls(); }
};

// A page is a child window: it needs a parent dialog.
HWND HostFor(const DlgTemplate& table, Seen* seen)
{
    if ((table.style & WS_CHILD) == 0)
        return nullptr;
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST), nullptr, RecordingProc,
                              reinterpret_cast<LPARAM>(seen));
}

TEST_F(WindowsDialogs, EveryTemplateBuildsItsControlsInOrder)
{
    for (const Named& d : kDialogs) {
        SCOPED_TRACE(d.label);
        const DlgTemplate* table = ResFindDialog(d.name);
        ASSERT_NE(table, nullptr);
        Seen hostSeen;
        HWND host = HostFor(*table, &hostSeen);
        Seen seen;
        const auto param = reinterpret_cast<LPARAM>(&seen);
        HWND dialog = nullptr;
        if (host == nullptr) {
            dialog = CreateDialogParamA(GetModuleHandleA(nullptr), d.name, nullptr, RecordingProc, param);
        } else { // a page is built as the test dialog builds it: from its locked template
            HRSRC resource = FindResourceA(nullptr, d.name, RT_DIALOG);
            ASSERT_NE(resource, nullptr);
            auto locked = static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(nullptr, resource)));
            ASSERT_NE(locked, nullptr);
            dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), locked, host, RecordingProc, param);
        }
        ASSERT_NE(dialog, nullptr) << GetLastError();
        EXPECT_EQ(GetParent(dialog), host);
        EXPECT_EQ(seen.initDialogs, 1);
        EXPECT_EQ(seen.initParam, reinterpret_cast<LPARAM>(&seen));
        if (table->caption != nullptr) {
            EXPECT_EQ(TextOf(dialog), table->caption);
        }

        std::vector<HWND> children = ChildrenOf(dialog);
        ASSERT_EQ(children.size(), table->items.size());
        // A tab control inside a group box lies just above it (the group box
        // would paint over the tabs): back in table order for the comparison.
        for (size_t i = 0; i + 1 < children.size(); ++i) {
            if (ClassOf(children[i]) == WC_TABCONTROLA && table->items[i + 1].id == GetDlgCtrlID(children[i]))
                std::swap(children[i], children[i + 1]);
        }
        for (size_t i = 0; i < children.size(); ++i) {
            const DlgItemTemplate& item = table->items[i];
            SCOPED_TRACE(item.text);
            EXPECT_EQ(lstrcmpiA(ClassOf(children[i]).c_str(), item.cls), 0) << ClassOf(children[i]);
            EXPECT_EQ(GetDlgCtrlID(children[i]), item.id);
            if (TextIsShown(item)) {
                EXPECT_EQ(TextOf(children[i]), item.text);
            }
            EXPECT_EQ(IsWindowEnabled(children[i]) != FALSE, (item.style & WS_DISABLED) == 0);
        }
        DestroyWindow(dialog);
        if (host != nullptr)
            DestroyWindow(host);
    }
}

TEST_F(WindowsDialogs, MainWindowHasItsMenuPictureAndClientArea)
{
    const DlgTemplate* table = ResFindDialog(IDD_MAIN_DIALOG_NAME);
    ASSERT_NE(table, nullptr);
    const MenuTemplate* menuTable = ResFindMenu(table->menuId);
    ASSERT_NE(menuTable, nullptr);
    Seen seen;
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), IDD_MAIN_DIALOG_NAME, nullptr, RecordingProc,
                                     reinterpret_cast<LPARAM>(&seen));
    ASSERT_NE(dialog, nullptr);

    HMENU menu = GetMenu(dialog);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(menuTable->popups.size()));
    for (size_t p = 0; p < menuTable->popups.size(); ++p) {
        const MenuPopupTemplate& popup = menuTable->popups[p];
        char text[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(p), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, popup.text);
        HMENU sub = GetSubMenu(menu, static_cast<int>(p));
        ASSERT_NE(sub, nullptr);
        ASSERT_EQ(GetMenuItemCount(sub), static_cast<int>(popup.items.size()));
        for (size_t i = 0; i < popup.items.size(); ++i) {
            EXPECT_EQ(GetMenuItemID(sub, static_cast<int>(i)), popup.items[i].command);
            if (popup.items[i].text == nullptr) { // a separator line
                EXPECT_TRUE(GetMenuState(sub, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) << i;
                continue;
            }
            GetMenuStringA(sub, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            EXPECT_STREQ(text, popup.items[i].text);
        }
    }

    // The menu takes no room from the template's client area.
    RECT wanted{0, 0, table->cx, table->cy};
    MapDialogRect(dialog, &wanted);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.bottom - client.top, wanted.bottom - wanted.top);
    EXPECT_EQ(client.right - client.left, wanted.right - wanted.left);

    // The picture fills the whole client area: its control keeps the
    // template's size and shows a bitmap of exactly that size.
    HWND picture = GetDlgItem(dialog, IDC_MAIN_PICTURE);
    ASSERT_NE(picture, nullptr);
    RECT shown{};
    GetClientRect(picture, &shown);
    EXPECT_EQ(shown.right, client.right);
    EXPECT_EQ(shown.bottom, client.bottom);
    auto bitmap = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_NE(GetObjectA(bitmap, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, shown.right);
    EXPECT_EQ(info.bmHeight, shown.bottom);
    DestroyWindow(dialog);
}

INT_PTR CALLBACK EndAtOnceProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, lParam);
        return TRUE;
    }
    return FALSE;
}

TEST_F(WindowsDialogs, ModalDialogsReturnWhatEndDialogGaveAndUnknownNamesFail)
{
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), nullptr, EndAtOnceProc, 42),
              42);
    const LPCSTR unknown[] = {MAKEINTRESOURCEA(1), "NO_SUCH_DIALOG"};
    for (LPCSTR name : unknown) {
        SetLastError(0);
        EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), name, nullptr, EndAtOnceProc, 1), -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
        EXPECT_EQ(CreateDialogParamA(GetModuleHandleA(nullptr), name, nullptr, EndAtOnceProc, 1), nullptr);
        EXPECT_EQ(FindResourceA(nullptr, name, RT_DIALOG), nullptr);
    }
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_ABOUT), RT_BITMAP), nullptr);
}

TEST_F(WindowsDialogs, ProgramIconComesFromItsPicture)
{
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MPTEST));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_GT(bitmap.bmWidth, 0);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);

    SetLastError(0);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(9999)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
}

} // namespace
