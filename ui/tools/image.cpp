// The picture page: a PNG, BMP or JPEG file, its width, dithering,
// brightness and inversion, the 1-bit preview at one screen pixel per dot,
// and the print of exactly that picture.
#include "ui/tools/tools.h"

#include "res/resource.h"
#include "send/files.h"
#include "ui/testprint/testprint.h"

#include <algorithm>

namespace {

struct Preset {
    const char* text;
    int width;
    int bandFeed;
};

const std::array<Preset, 3> kPresets{{
    {"本系列 210 点", kFamilyWidthDots, kFamilyBandFeed},
    {"热敏 384 点", 384, kThermalBandFeed},
    {"热敏 576 点", 576, kThermalBandFeed},
}};

// In the order of the Dither values.
const std::array<const char*, 3> kDitherTexts{"阈值", "Floyd–Steinberg", "Atkinson"};

// The job the controls describe; nullptr, or why they describe none.
const char* ReadImageJob(HWND page, ImageJob* job)
{
    if (!ReadToolsNumber(page, IDC_IM_WIDTH, &job->width))
        return "宽度不是数字";
    if (!ReadToolsNumber(page, IDC_IM_FEED, &job->bandFeed))
        return "每行走纸不是数字";
    if (!ReadToolsNumber(page, IDC_IM_THRESHOLD, &job->threshold))
        return "阈值不是数字";
    if (!ReadToolsNumber(page, IDC_IM_BRIGHTNESS, &job->brightness))
        return "亮度不是数字";
    const LRESULT dither = SendDlgItemMessageA(page, IDC_IM_DITHER, CB_GETCURSEL, 0, 0);
    job->dither = static_cast<Dither>(dither >= 0 && dither < 3 ? dither : 1);
    job->invert = IsDlgButtonChecked(page, IDC_IM_INVERT) == BST_CHECKED;
    job->raster = IsDlgButtonChecked(page, IDC_IM_RASTER) == BST_CHECKED;
    return CheckImageJob(*job);
}

// A Windows monochrome bitmap of `rows` rows of the dots from `top`: rows
// padded to 16 bits, a set bit white.
HBITMAP PreviewBitmap(const MonoImage& mono, int top, int rows)
{
    const int stride = (mono.width + 15) / 16 * 2;
    std::vector<BYTE> bits(static_cast<size_t>(stride) * rows, 0xFF);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < mono.width; ++x)
            if (mono.Black(x, top + y))
                bits[static_cast<size_t>(y) * stride + x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
    return CreateBitmap(mono.width, rows, 1, 1, bits.data());
}

// How many dot rows the preview has room for, at one screen pixel per dot:
// measured before it shows a picture, since a bitmap static takes the size
// of its bitmap.
int PreviewRoom(HWND page)
{
    RECT room{};
    GetClientRect(GetDlgItem(page, IDC_IM_PREVIEW), &room);
    return std::max(8, static_cast<int>(room.bottom - room.top));
}

// ▲ and ▼ only where there are rows above or below what the preview shows.
void EnableScrollButtons(HWND page, bool up, bool down)
{
    EnableWindow(GetDlgItem(page, IDC_IM_UP), up);
    EnableWindow(GetDlgItem(page, IDC_IM_DOWN), down);
}

void ShowPreview(HWND page, HBITMAP bitmap)
{
    SendDlgItemMessageA(page, IDC_IM_PREVIEW, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    // The static answered with the bitmap it showed before: ours, deleted here.
    if (gTools.preview != nullptr)
        DeleteObject(gTools.preview);
    gTools.preview = bitmap;
}

void _InitCtrls_Im(HWND page)
{
    for (const Preset& preset : kPresets)
        SendDlgItemMessageA(page, IDC_IM_PRESET, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(preset.text));
    SendDlgItemMessageA(page, IDC_IM_PRESET, CB_SETCURSEL, 0, 0);
    for (const char* text : kDitherTexts)
        SendDlgItemMessageA(page, IDC_IM_DITHER, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageA(page, IDC_IM_DITHER, CB_SETCURSEL, static_cast<WPARAM>(Dither::FloydSteinberg), 0);
    SetDlgItemTextA(page, IDC_IM_SIZE, "未选择图片");
    gTools.previewRoom = PreviewRoom(page);
    EnableScrollButtons(page, false, false);
}

} // namespace

void handleImageOpen(HWND page)
{
    char path[260];
    SelectFileName(page, "图片 (PNG, BMP, JPEG)\0*.png;*.bmp;*.jpg;*.jpeg\0所有文件\0*.*\0", path);
    if (path[0] == '\0')
        return;
    std::string bytes, error;
    GrayImage source;
    if (!ReadImageFile(path, &bytes, &error) ||
        !DecodeImage({reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()}, &source, &error)) {
        ShowError_T(page, error.c_str());
        return;
    }
    gTools.source = std::move(source);
    gTools.previewTop = 0;
    SetDlgItemTextA(page, IDC_IM_FILE, path);
    handleImagePreview(page);
}

void handleImagePreview(HWND page)
{
    if (gTools.source.width == 0)
        return;
    ImageJob job;
    std::string error;
    const char* bad = ReadImageJob(page, &job);
    if (bad != nullptr || !MakeMonoImage(gTools.source, job, &gTools.mono, &error)) {
        gTools.mono = {};
        ShowPreview(page, nullptr);
        EnableScrollButtons(page, false, false);
        SetDlgItemTextA(page, IDC_IM_SIZE, bad != nullptr ? bad : error.c_str());
        return;
    }
    const int rows = std::min(gTools.previewRoom, gTools.mono.height);
    gTools.previewTop = std::clamp(gTools.previewTop, 0, gTools.mono.height - rows);
    ShowPreview(page, PreviewBitmap(gTools.mono, gTools.previewTop, rows));
    EnableScrollButtons(page, gTools.previewTop > 0, gTools.previewTop + rows < gTools.mono.height);
    std::string size = std::to_string(gTools.mono.width) + " × " + std::to_string(gTools.mono.height) + " 点，" +
                       std::to_string(ImageBytes(gTools.mono, job).size()) + " 字节";
    if (rows < gTools.mono.height)
        size += "，预览第 " + std::to_string(gTools.previewTop + 1) + "–" +
                std::to_string(gTools.previewTop + rows) + " 行";
    SetDlgItemTextA(page, IDC_IM_SIZE, size.c_str());
}

// A screenful up (-1) or down (1), keeping one band of the last in sight.
void handleImageScroll(HWND page, int direction)
{
    gTools.previewTop += direction * std::max(8, gTools.previewRoom - 8);
    handleImagePreview(page);
}

void handleImagePreset(HWND page)
{
    const LRESULT index = SendDlgItemMessageA(page, IDC_IM_PRESET, CB_GETCURSEL, 0, 0);
    if (index < 0 || index >= static_cast<LRESULT>(kPresets.size()))
        return;
    SetDlgItemTextA(page, IDC_IM_WIDTH, std::to_string(kPresets[index].width).c_str());
    SetDlgItemTextA(page, IDC_IM_FEED, std::to_string(kPresets[index].bandFeed).c_str());
    handleImagePreview(page);
}

void handleImagePrint(HWND page)
{
    if (gTools.source.width == 0) {
        ShowError_T(page, "请先选择图片");
        return;
    }
    ImageJob job;
    if (const char* bad = ReadImageJob(page, &job)) {
        ShowError_T(page, bad);
        return;
    }
    handleImagePreview(page); // what goes out is what the preview shows
    if (gTools.mono.width == 0) {
        char reason[128] = {};
        GetDlgItemTextA(page, IDC_IM_SIZE, reason, sizeof reason);
        ShowError_T(page, reason);
        return;
    }
    SendTools(page, ImageBytes(gTools.mono, job));
}

INT_PTR CALLBACK bTools_Image_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        _InitCtrls_Im(page);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_IM_OPEN:
            handleImageOpen(page);
            break;
        case IDC_IM_PRESET:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                handleImagePreset(page);
            break;
        case IDC_IM_WIDTH:
        case IDC_IM_FEED:
        case IDC_IM_THRESHOLD:
        case IDC_IM_BRIGHTNESS:
            if (HIWORD(wParam) == EN_CHANGE)
                handleImagePreview(page);
            break;
        case IDC_IM_DITHER:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                handleImagePreview(page);
            break;
        case IDC_IM_INVERT:
        case IDC_IM_RASTER:
            handleImagePreview(page);
            break;
        case IDC_IM_PRINT:
            handleImagePrint(page);
            break;
        case IDC_IM_UP:
            handleImageScroll(page, -1);
            break;
        case IDC_IM_DOWN:
            handleImageScroll(page, 1);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
