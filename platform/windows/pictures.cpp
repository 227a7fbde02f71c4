// PNG pictures decoded by GDI+, which every Windows since XP carries.
#include "platform/windows/win.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <mutex>

namespace {

// GDI+ is started once, on first use, and left running for the program's life.
bool StartGdiplus()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    });
    return started;
}

} // namespace

HBITMAP PlatDecodePngToBitmap(const unsigned char* png, size_t size)
{
    if (!StartGdiplus())
        return nullptr;
    IStream* stream = SHCreateMemStream(png, static_cast<UINT>(size));
    if (stream == nullptr)
        return nullptr;
    Gdiplus::GpBitmap* bitmap = nullptr;
    HBITMAP result = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok) {
        // Transparent pixels take the dialog face colour.
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        const Gdiplus::ARGB background =
            0xFF000000u | (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
        if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(bitmap, &result, background) != Gdiplus::Ok)
            result = nullptr;
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
    stream->Release();
    return result;
}
