// Pictures of windows as the system draws them: saved as PNG for a person to
// look at (scripts/test-windows leaves them in out/), and compared with a
// reference picture so that a damaged glyph fails a test.
#pragma once

#include "platform/windows/win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// 32-bit pixels, 0x00RRGGBB, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// GDI+ for the length of one call.
class GdiPlus {
public:
    GdiPlus()
    {
        Gdiplus::GdiplusStartupInput input;
        started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiPlus()
    {
        if (started_)
            Gdiplus::GdiplusShutdown(token_);
    }
    GdiPlus(const GdiPlus&) = delete;
    GdiPlus& operator=(const GdiPlus&) = delete;
    explicit operator bool() const { return started_; }

private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

// A window as it is drawn (frame, menu bar, controls), painted now, on this
// thread. `fromScreen`: read the screen where the window is, for another
// process's window (this process cannot read its window's own surface).
inline Picture CaptureWindow(HWND window, bool fromScreen = false)
{
    Picture picture;
    RECT r{};
    GetWindowRect(window, &r);
    picture.width = r.right - r.left;
    picture.height = r.bottom - r.top;
    if (picture.width <= 0 || picture.height <= 0)
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool printed = false;
    if (fromScreen) {
        printed = BitBlt(memory, 0, 0, picture.width, picture.height, screen, r.left, r.top, SRCCOPY) != FALSE;
    } else {
        ShowWindow(window, SW_SHOW);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        HDC own = GetWindowDC(window);
        printed = BitBlt(memory, 0, 0, picture.width, picture.height, own, 0, 0, SRCCOPY) != FALSE;
        ReleaseDC(window, own);
    }
    GdiFlush();
    if (printed && bits != nullptr) {
        const auto* first = static_cast<const uint32_t*>(bits);
        picture.pixels.assign(first, first + static_cast<size_t>(picture.width) * picture.height);
        for (uint32_t& p : picture.pixels)
            p &= 0x00FFFFFF;
    } else {
        picture = {};
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return picture;
}

inline bool SavePicture(const Picture& picture, const std::string& path)
{
    GdiPlus gdiPlus;
    if (!gdiPlus || picture.pixels.empty())
        return false;
    std::vector<uint32_t> argb(picture.pixels);
    for (uint32_t& p : argb)
        p |= 0xFF000000;
    Gdiplus::GpBitmap* image = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(picture.width, picture.height, picture.width * 4,
                                                       PixelFormat32bppARGB, reinterpret_cast<BYTE*>(argb.data()),
                                                       &image) != Gdiplus::Ok)
        return false;
    const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    const bool saved =
        Gdiplus::DllExports::GdipSaveImageToFile(image, PlatWide(path).c_str(), &png, nullptr) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(image);
    return saved;
}

// A PNG as pixels; an empty picture when it cannot be read.
inline Picture LoadPicture(const std::string& path)
{
    GdiPlus gdiPlus;
    Picture picture;
    Gdiplus::GpBitmap* image = nullptr;
    if (!gdiPlus || Gdiplus::DllExports::GdipCreateBitmapFromFile(PlatWide(path).c_str(), &image) != Gdiplus::Ok)
        return picture;
    UINT width = 0;
    UINT height = 0;
    Gdiplus::DllExports::GdipGetImageWidth(image, &width);
    Gdiplus::DllExports::GdipGetImageHeight(image, &height);
    Gdiplus::Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData data{};
    if (Gdiplus::DllExports::GdipBitmapLockBits(image, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                                                &data) == Gdiplus::Ok) {
        picture.width = static_cast<int>(width);
        picture.height = static_cast<int>(height);
        picture.pixels.resize(static_cast<size_t>(width) * height);
        for (UINT y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
            for (UINT x = 0; x < width; ++x)
                picture.pixels[y * width + x] = row[x] & 0x00FFFFFF;
        }
        Gdiplus::DllExports::GdipBitmapUnlockBits(image, &data);
    }
    Gdiplus::DllExports::GdipDisposeImage(image);
    return picture;
}

// Saves a window as it is drawn, for a person to look at.
inline bool SaveScreenshot(HWND window, const std::string& path)
{
    return SavePicture(CaptureWindow(window), path);
}

// Where two pictures of the same window differ as a damaged glyph makes
// them differ: an 8x8 cell in which several pixels changed from ink to paper
// or back (a stroke missing, moved or added). Anti-aliasing that renders an
// edge a little lighter or darker changes pixels by less, and a stray pixel
// is not a stroke. Empty when the pictures agree; a different size is one
// difference at (-1, -1).
struct CellDifference {
    int x;
    int y;
    int pixels;
};

constexpr int kGlyphCell = 8;
constexpr int kInkChange = 96;   // of 255 in brightness: ink became paper or back
constexpr int kStrokePixels = 5; // changed pixels in one cell that make a stroke

inline int Brightness(uint32_t p)
{
    return (static_cast<int>((p >> 16) & 0xFF) * 30 + static_cast<int>((p >> 8) & 0xFF) * 59 +
            static_cast<int>(p & 0xFF) * 11) /
           100;
}

inline std::vector<CellDifference> DamagedCells(const Picture& shown, const Picture& reference)
{
    if (shown.width != reference.width || shown.height != reference.height || shown.pixels.empty())
        return {{-1, -1, 0}};
    std::vector<CellDifference> cells;
    for (int cy = 0; cy < shown.height; cy += kGlyphCell) {
        for (int cx = 0; cx < shown.width; cx += kGlyphCell) {
            int changed = 0;
            for (int y = cy; y < std::min(cy + kGlyphCell, shown.height); ++y)
                for (int x = cx; x < std::min(cx + kGlyphCell, shown.width); ++x) {
                    const size_t i = static_cast<size_t>(y) * shown.width + x;
                    if (std::abs(Brightness(shown.pixels[i]) - Brightness(reference.pixels[i])) > kInkChange)
                        ++changed;
                }
            if (changed >= kStrokePixels)
                cells.push_back({cx, cy, changed});
        }
    }
    return cells;
}
