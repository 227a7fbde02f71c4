// Pictures of windows as the system draws them, for a person to look at
// (scripts/test-windows leaves them in out/): no test checks pixels.
#pragma once

#include "platform/windows/win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <string>

// Saves a window as it is drawn (frame, menu bar, controls) as a PNG,
// for a person to look at: no test checks pixels.
inline bool SaveScreenshot(HWND window, const std::string& path)
{
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // Painted now, on this thread, before its pixels are read.
    ShowWindow(window, SW_SHOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC own = GetWindowDC(window);
    const bool printed = BitBlt(memory, 0, 0, width, height, own, 0, 0, SRCCOPY) != FALSE;
    ReleaseDC(window, own);
    SelectObject(memory, old);

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    bool saved = false;
    if (printed && Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        Gdiplus::GpBitmap* image = nullptr;
        if (Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
            const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
            saved = Gdiplus::DllExports::GdipSaveImageToFile(image, PlatWide(path).c_str(), &png, nullptr) ==
                    Gdiplus::Ok;
            Gdiplus::DllExports::GdipDisposeImage(image);
        }
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}
