// The real program on the real system: its main window procedure, and
// mptest.exe itself started as a user starts it.
#include "platform/windows/win.h"
#include "windows/process.h"
#include "windows/screenshot.h"

#include "app/app.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kCaption[] = "衡岚微型打印机测试软件A V2.4(适用于win9x/me/2000/xp)";

std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

TEST(WindowsApp, MainWindowHasCaptionIconAndMenu)
{
    InitCommonControls();
    hGInstance = GetModuleHandleA(nullptr); // as WinMain leaves it
    HWND main = CreateDialogParamA(GetModuleHandleA(nullptr), IDD_MAIN_DIALOG_NAME, nullptr, bMainDlgProc, 0);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(TextOf(main), kCaption);
    EXPECT_NE(SendMessageA(main, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(GetMenu(main), nullptr); // its entries: the template test
    // The window is centred on the screen (within the few pixels of offset).
    RECT r{};
    GetWindowRect(main, &r);
    const int screenMid = GetSystemMetrics(SM_CXSCREEN) / 2;
    EXPECT_LE(std::abs((r.left + r.right) / 2 - screenMid), 12);
    if (const char* shot = std::getenv("MPTEST_SCREENSHOT")) {
        EXPECT_TRUE(SaveScreenshot(main, shot)) << shot;
    }
    DestroyWindow(main);
}

std::string ProgramPath()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of("\\/") + 1) + "mptest.exe";
}

// Waits for a shown top-level window with the caption. Nothing to pump: the
// window is another process's.
HWND WaitForWindow(const char* caption, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HWND w = FindWindowA(nullptr, caption);
        if (w != nullptr && IsWindowVisible(w))
            return w;
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

// What Explorer shows of mptest.exe: the version information from the one
// version in CMake, the icon at every size it draws, and a release without
// its symbol table.
TEST(WindowsApp, ProgramCarriesItsVersionIconsAndNoSymbols)
{
    const std::string path = ProgramPath();
    DWORD ignored = 0;
    std::string info(GetFileVersionInfoSizeA(path.c_str(), &ignored), '\0');
    ASSERT_FALSE(info.empty()) << "no version information";
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(MPTEST_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed->dwFileVersionMS, (major << 16) | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
    const struct {
        const char* name;
        const char* contains;
    } strings[] = {
        {"FileVersion", MPTEST_VERSION},      {"ProductVersion", MPTEST_VERSION},
        {"ProductName", "mptest"},            {"FileDescription", "微型打印机测试"},
        {"LegalCopyright", "mptest authors"}, {"OriginalFilename", "mptest.exe"},
    };
    for (const auto& s : strings) {
        char* value = nullptr;
        const std::string key = std::string("\\StringFileInfo\\080404B0\\") + s.name;
        ASSERT_TRUE(VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) << s.name;
        EXPECT_NE(std::strstr(value, s.contains), nullptr) << s.name << ": " << value;
    }

    // Mapped as a data file: the headers are at the start of the mapping.
    HMODULE image = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    int images = 0;
    EnumResourceNamesA(image, RT_ICON, [](HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
        ++*reinterpret_cast<int*>(count);
        return TRUE;
    }, reinterpret_cast<LONG_PTR>(&images));
    EXPECT_EQ(images, 5); // 16, 24, 32, 48 and 256 pixels
    const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR(3));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    EXPECT_EQ(nt->FileHeader.NumberOfSymbols, 0u); // stripped
    FreeLibrary(image);
}

TEST(WindowsApp, ProgramShowsItsMainWindowAndEndsOnClose)
{
    // Explorer shows the one icon the .exe carries.
    const std::string path = ProgramPath();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ExtractIconA(GetModuleHandleA(nullptr), path.c_str(), UINT(-1))), 1u);
    HICON icon = ExtractIconA(GetModuleHandleA(nullptr), path.c_str(), 0);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr)
        DestroyIcon(icon);

    PROCESS_INFORMATION process{};
    ASSERT_TRUE(StartProgram(path, "", process)) << path << " " << GetLastError();

    HWND main = WaitForWindow(kCaption, 60000);
    if (main != nullptr) {
        // A menu's items are its process's own; from here the bar is seen
        // as the room it takes above the client area.
        EXPECT_NE(GetMenu(main), nullptr);
        RECT window{};
        RECT client{};
        GetWindowRect(main, &window);
        GetClientRect(main, &client);
        EXPECT_GE((window.bottom - window.top) - client.bottom,
                  GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU));
        PostMessageA(main, WM_CLOSE, 0, 0);
    }
    EXPECT_NE(main, nullptr) << "no window captioned " << kCaption;

    EXPECT_EQ(EndProgram(process, 30000), 0);
}

// Starts mptest.exe --version and waits, bounded, for it to end. `out`: the
// child's standard output, or nullptr to hand over none (it must find the
// console). Its exit code, or -1 when it had to be ended.
int RunVersion(HANDLE out)
{
    PROCESS_INFORMATION process{};
    return StartProgram(ProgramPath(), "--version", process, out) ? EndProgram(process, 30000) : -2;
}

// `mptest.exe --version` answers where it was started from and opens no
// window: into a pipe its parent hands over, and into its parent's console
// when it is handed nothing (a window program has no console of its own).
TEST(WindowsApp, ProgramTellsItsVersionToItsParentAndOpensNoWindow)
{
    const std::string expected = std::string("mptest ") + MPTEST_VERSION + "\r\n";
    {
        SCOPED_TRACE("a pipe");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        EXPECT_EQ(RunVersion(writeEnd), 0);
        CloseHandle(writeEnd);
        std::string told;
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0)
            told.append(chunk, got);
        CloseHandle(readEnd);
        EXPECT_EQ(told, expected);
    }
    {
        SCOPED_TRACE("the parent's console");
        // A console of this test's own whose screen can be read back; the
        // test's own output keeps going where it went.
        const HANDLE ownOut = GetStdHandle(STD_OUTPUT_HANDLE);
        const HANDLE ownErr = GetStdHandle(STD_ERROR_HANDLE);
        const HANDLE ownIn = GetStdHandle(STD_INPUT_HANDLE);
        FreeConsole();
        ASSERT_TRUE(AllocConsole());
        HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        const int exitCode = RunVersion(nullptr);
        char text[256] = {};
        DWORD read = 0;
        ReadConsoleOutputCharacterA(screen, text, sizeof text - 1, COORD{0, 0}, &read);
        CloseHandle(screen);
        FreeConsole();
        SetStdHandle(STD_OUTPUT_HANDLE, ownOut);
        SetStdHandle(STD_ERROR_HANDLE, ownErr);
        SetStdHandle(STD_INPUT_HANDLE, ownIn);
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(std::string(text).substr(0, expected.size() - 2), expected.substr(0, expected.size() - 2));
    }
    EXPECT_EQ(FindWindowA(nullptr, kCaption), nullptr);
}

} // namespace
