// The character pages: Latin character patterns in the ESC ! print modes,
// repeated until stopped, and samples of the five GBK zones in the FS !
// modes, printed once.
#include "ui/testprint/testprint.h"

#include "printer/testprint.h"
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
    for (int zone = 0; zone < kGbkZoneCount; ++zone)
        SendDlgItemMessageA(page, IDC_GBK_ZONE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GbkZoneName(zone)));
    SendDlgItemMessageA(page, IDC_GBK_ZONE, CB_SETCURSEL, 0, 0);
}

} // namespace

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
    const std::string bytes = LatinTestBytes(mode, pattern);
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()), kLatinTestFlags,
               kRefusedText_T);
}

void handleTestGbk(HWND page)
{
    if (!CheckPort_T(page, kNoPortText_T))
        return;
    const std::string bytes = GbkTestBytes(CheckedBits(page, kChineseModes), ComboSelection(page, IDC_GBK_ZONE));
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
