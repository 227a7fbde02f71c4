// The character pages: Latin character patterns in the ESC ! print modes,
// repeated until stopped, and samples of the five GBK zones in the FS !
// modes, printed once.
#include "ui/testprint/testprint.h"

#include "res/resource.h"
#include "send/send.h"

#include <array>
#include <string>

namespace {

struct ModeBit {
    int id;
    BYTE bit;
};

constexpr std::array<ModeBit, 3> kLatinModes{{
    {IDC_CHAR_DWIDTH, kLatinDoubleWidth},
    {IDC_CHAR_DHEIGHT, kLatinDoubleHeight},
    {IDC_CHAR_UNDERLINE, kLatinUnderline},
}};

constexpr std::array<ModeBit, 3> kChineseModes{{
    {IDC_GBK_DWIDTH, kGbkDoubleWidth},
    {IDC_GBK_DHEIGHT, kGbkDoubleHeight},
    {IDC_GBK_UNDERLINE, kGbkUnderline},
}};

// A sample of one GBK zone: lead bytes and trail bytes, each range with its step.
struct GbkZone {
    const char* item;
    BYTE leadFirst, leadLast, leadStep;
    BYTE trailFirst, trailLast, trailStep;
};

constexpr std::array<GbkZone, kGbkZoneCount> kZones{{
    {"1区", 0xA1, 0xA9, 1, 0xA1, 0xFD, 2},
    {"2区", 0xB0, 0xF4, 4, 0xA1, 0xFD, 2},
    {"3区", 0x81, 0x9F, 2, 0x40, 0xFC, 4},
    {"4区", 0xAA, 0xFE, 3, 0x40, 0x9C, 4},
    {"5区", 0xA8, 0xA9, 1, 0x40, 0x9F, 1},
}};

BYTE CheckedBits(HWND page, std::span<const ModeBit> modes)
{
    BYTE n = 0;
    for (const ModeBit& mode : modes)
        if (IsDlgButtonChecked(page, mode.id) == BST_CHECKED)
            n |= mode.bit;
    return n;
}

int ComboSelection(HWND page, int id)
{
    return static_cast<int>(SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0));
}

void _DialogCharInit(HWND page)
{
    SendDlgItemMessageA(page, IDC_CHAR_FONT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("7x9"));
    SendDlgItemMessageA(page, IDC_CHAR_FONT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("9x9"));
    SendDlgItemMessageA(page, IDC_CHAR_FONT, CB_SETCURSEL, 0, 0);
    CheckDlgButton(page, IDC_CHAR_ASC, BST_CHECKED);
}

void _DialogGbkInit(HWND page)
{
    for (const GbkZone& zone : kZones)
        SendDlgItemMessageA(page, IDC_GBK_ZONE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(zone.item));
    SendDlgItemMessageA(page, IDC_GBK_ZONE, CB_SETCURSEL, 0, 0);
}

} // namespace

std::string LatinTestBytes_T(BYTE modes, LatinPattern pattern)
{
    std::string bytes = "\x1B\x40\x1C\x2E\x1B\x21";
    bytes.push_back(static_cast<char>(modes));
    if (pattern == LatinPattern::Letters) {
        for (char c = 'A'; c <= 'Z'; ++c)
            bytes.push_back(c);
    } else if (pattern != LatinPattern::None) {
        bytes.append(42, pattern == LatinPattern::H ? 'H' : 'I');
    }
    bytes.push_back('\n');
    return bytes;
}

std::string GbkTestBytes_T(BYTE modes, int zoneIndex)
{
    std::string bytes = "\x1B\x40\x1C\x21";
    bytes.push_back(static_cast<char>(modes));
    if (zoneIndex >= 0 && zoneIndex < static_cast<int>(kZones.size())) {
        const GbkZone& zone = kZones[static_cast<size_t>(zoneIndex)];
        for (int lead = zone.leadFirst; lead <= zone.leadLast; lead += zone.leadStep) {
            for (int trail = zone.trailFirst; trail <= zone.trailLast; trail += zone.trailStep) {
                bytes.push_back(static_cast<char>(lead));
                bytes.push_back(static_cast<char>(trail));
            }
        }
    }
    bytes.push_back('\n');
    return bytes;
}

void handleTestChar(HWND page)
{
    if (!CheckPort_T(page, kNoPortText_T))
        return;
    BYTE mode = CheckedBits(page, kLatinModes);
    if (ComboSelection(page, IDC_CHAR_FONT) == 0)
        mode |= kLatinFont7x9;
    LatinPattern pattern = LatinPattern::None;
    if (IsDlgButtonChecked(page, IDC_CHAR_ASC) == BST_CHECKED)
        pattern = LatinPattern::Letters;
    else if (IsDlgButtonChecked(page, IDC_CHAR_H) == BST_CHECKED)
        pattern = LatinPattern::H;
    else if (IsDlgButtonChecked(page, IDC_CHAR_I) == BST_CHECKED)
        pattern = LatinPattern::I;
    const std::string bytes = LatinTestBytes_T(mode, pattern);
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()), kLatinTestFlags,
               kRefusedText_T);
}

void handleTestGbk(HWND page)
{
    if (!CheckPort_T(page, kNoPortText_T))
        return;
    const std::string bytes = GbkTestBytes_T(CheckedBits(page, kChineseModes), ComboSelection(page, IDC_GBK_ZONE));
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()), kTestFlags, kRefusedText_T);
}

INT_PTR CALLBACK bChild_Char_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        _DialogCharInit(page);
        OnChildDialogInit(page);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CHAR_START:
            handleTestChar(page);
            break;
        case IDC_CHAR_STOP:
            RequestSendStop();
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK bChild_GBK_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        _DialogGbkInit(page);
        OnChildDialogInit(page);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_GBK_START:
            handleTestGbk(page);
            break;
        case IDC_GBK_STOP:
            RequestSendStop();
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
