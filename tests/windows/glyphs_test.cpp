// The Chinese of the main window, the console, the test dialog and the
// installer drawn whole under Wine with the prefix settings of
// scripts/wine-cjk. Each window is compared with a reference picture of it
// drawn whole (tests/windows/reference); a missing or broken stroke fails,
// anti-aliasing noise does not. When a window differs, the picture shown
// goes to MPTEST_GLYPH_OUT: look at it, and if every glyph is whole, it is
// the new reference.
#include "platform/windows/win.h"
#include "windows/process.h"
#include "windows/screenshot.h"

#include "app/app.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/console/console.h"
#include "ui/testprint/testprint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace {

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string ReferencePath(const std::string& name)
{
    return Env("MPTEST_GLYPH_REFERENCES") + "/" + name + ".png";
}

// The window's picture against its reference, cell by cell.
void ExpectWhole(const Picture& shown, const std::string& name)
{
    ASSERT_FALSE(shown.pixels.empty()) << name << ": no picture of the window";
    const Picture reference = LoadPicture(ReferencePath(name));
    const std::vector<CellDifference> cells = DamagedCells(shown, reference);
    if (!cells.empty() && !Env("MPTEST_GLYPH_OUT").empty())
        SavePicture(shown, Env("MPTEST_GLYPH_OUT") + "/" + name + ".png");
    std::ostringstream where;
    if (!cells.empty() && cells[0].x < 0)
        where << " the window is " << shown.width << "x" << shown.height << ", the reference " << reference.width
              << "x" << reference.height;
    for (size_t i = 0; i < cells.size() && i < 12 && cells[0].x >= 0; ++i)
        where << " (" << cells[i].x << "," << cells[i].y << ": " << cells[i].pixels << ")";
    EXPECT_TRUE(cells.empty()) << name << ": " << cells.size() << " cells differ from " << ReferencePath(name)
                               << (reference.pixels.empty() ? " (no reference)" : "") << ":" << where.str();
}

// The comparison itself, on a reference picture: a copy with every pixel a
// little lighter or darker passes; one glyph's strokes painted over fail,
// at that glyph.
TEST(WindowsGlyphs, ComparisonFailsAMissingStrokeAndPassesAntiAliasing)
{
    if (Env("MPTEST_GLYPH_REFERENCES").empty())
        GTEST_SKIP() << "MPTEST_GLYPH_REFERENCES names no folder";
    const Picture reference = LoadPicture(ReferencePath("main-window"));
    ASSERT_FALSE(reference.pixels.empty());

    Picture noisy = reference;
    for (int y = 0; y < noisy.height; ++y)
        for (int x = 0; x < noisy.width; ++x) {
            uint32_t& p = noisy.pixels[static_cast<size_t>(y) * noisy.width + x];
            const int shift = (x * 7 + y * 13) % 81 - 40;
            uint32_t out = 0;
            for (int channel = 0; channel < 24; channel += 8) {
                const int value = std::clamp(static_cast<int>((p >> channel) & 0xFF) + shift, 0, 255);
                out |= static_cast<uint32_t>(value) << channel;
            }
            p = out;
        }
    EXPECT_TRUE(DamagedCells(noisy, reference).empty());

    // The cell with the most ink (the menu bar's text) loses its strokes.
    int inkiest = -1;
    int bestX = 0;
    int bestY = 0;
    for (int cy = 0; cy + kGlyphCell <= reference.height; cy += kGlyphCell)
        for (int cx = 0; cx + kGlyphCell <= reference.width; cx += kGlyphCell) {
            int ink = 0;
            for (int y = cy; y < cy + kGlyphCell; ++y)
                for (int x = cx; x < cx + kGlyphCell; ++x)
                    ink += Brightness(reference.pixels[static_cast<size_t>(y) * reference.width + x]) < 100;
            if (ink > inkiest && cy < reference.height / 4) {
                inkiest = ink;
                bestX = cx;
                bestY = cy;
            }
        }
    ASSERT_GE(inkiest, kStrokePixels);
    Picture damaged = reference;
    for (int y = bestY; y < bestY + kGlyphCell; ++y)
        for (int x = bestX; x < bestX + kGlyphCell; ++x)
            damaged.pixels[static_cast<size_t>(y) * damaged.width + x] = 0xFFFFFF;
    const std::vector<CellDifference> cells = DamagedCells(damaged, reference);
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].x, bestX);
    EXPECT_EQ(cells[0].y, bestY);
}

TEST(WindowsGlyphs, MainWindowConsoleAndTestDialogDrawWholeGlyphs)
{
    if (!UnderWine() || Env("MPTEST_GLYPH_REFERENCES").empty())
        GTEST_SKIP() << "the references are Wine's drawing with scripts/wine-cjk's settings";
    hGInstance = GetModuleHandleA(nullptr);
    InitPort();
    UtilInit();
    InitCommonControls();
    ASSERT_TRUE(InitializeWinIo());

    const struct {
        const char* name;
        LPCSTR templateName;
        DLGPROC proc;
        bool closeFirst; // the main window's close ends the whole program's services
    } windows[] = {
        {"main-window", IDD_MAIN_DIALOG_NAME, bMainDlgProc, false},
        {"console", MAKEINTRESOURCEA(IDD_USER_CMD), bUserCmdDlgProc, true},
        {"test-dialog", MAKEINTRESOURCEA(IDD_TEST), bTestDlgProc, true},
    };
    for (const auto& w : windows) {
        HWND window = CreateDialogParamA(hGInstance, w.templateName, nullptr, w.proc, 0);
        ASSERT_NE(window, nullptr) << w.name;
        ExpectWhole(CaptureWindow(window), w.name);
        if (w.closeFirst)
            SendMessageA(window, WM_CLOSE, 0, 0); // the dialog frees what it holds
        if (IsWindow(window))
            DestroyWindow(window);
    }

    PortRelease();
    UtilRelease();
    ShutdownWinIo();
}

// A shown top-level window whose caption starts with `caption` (the
// installer's ends in a space).
HWND ShownWindowCaptioned(const std::string& caption)
{
    struct Search {
        const std::string* caption;
        HWND found;
    } search{&caption, nullptr};
    EnumWindows(
        [](HWND w, LPARAM param) {
            auto* s = reinterpret_cast<Search*>(param);
            char text[256] = {};
            GetWindowTextA(w, text, sizeof text);
            if (IsWindowVisible(w) && std::string(text).rfind(*s->caption, 0) == 0) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The installer's first page (the licence), started as a user starts it.
TEST(WindowsGlyphs, InstallerDrawsWholeGlyphs)
{
    const std::string installer = Env("MPTEST_INSTALLER");
    if (!UnderWine() || Env("MPTEST_GLYPH_REFERENCES").empty() || installer.empty())
        GTEST_SKIP() << "no installer built, or not Wine's drawing";
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(StartProgram(installer, "", process)) << installer;
    WaitForInputIdle(process.hProcess, 30000);
    const std::string caption = std::string("微型打印机测试 ") + MPTEST_VERSION + " 安装";
    HWND page = nullptr;
    Picture shown;
    // Another process paints it: the picture counts once two in a row agree.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
        page = ShownWindowCaptioned(caption);
        if (page != nullptr && IsWindowVisible(page)) {
            SetForegroundWindow(page);
            Picture now = CaptureWindow(page, true);
            if (!now.pixels.empty() && now.pixels == shown.pixels)
                break;
            shown = std::move(now);
        }
        MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT);
    }
    std::string shownWindows;
    EnumWindows(
        [](HWND w, LPARAM list) {
            char text[256] = {};
            if (IsWindowVisible(w) && GetWindowTextA(w, text, sizeof text) > 0)
                *reinterpret_cast<std::string*>(list) += std::string(" \"") + text + "\"";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&shownWindows));
    EXPECT_NE(page, nullptr) << "no window captioned " << caption << "; shown:" << shownWindows;
    if (page != nullptr)
        ExpectWhole(shown, "installer");
    if (page != nullptr)
        PostMessageA(page, WM_CLOSE, 0, 0);
    EndProgram(process, 30000);
}

} // namespace
