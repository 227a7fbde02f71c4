// The character pages: Latin character patterns in the ESC ! print modes,
// repeated until stopped, and samples of the five GBK zones in the FS !
// modes, printed once.
#include "ui/tests/tests.h"

#include "res/resource.h"
#include "send/send.h"

#include <array>

namespace {

const char kNoPort[] = "请先选择一个打印端口";
const char kRefused[] = "发送数据错误！请重试";

struct ModeBit {
    int id;
    BYTE bit;
};

constexpr std::array<ModeBit, 3> kLatinModes{{
    {IDC_CHAR_DWIDTH, 0x20},
    {IDC_CHAR_DHEIGHT, 0x10},
    {IDC_CHAR_UNDERLINE, 0x80},
}};

constexpr std::array<ModeBit, 3> kChineseModes{{
    {IDC_GBK_DWIDTH, 0x04},
    {IDC_GBK_DHEIGHT, 0x08},
    {IDC_GBK_UNDERLINE, 0x80},
}};

// A sample of one GBK zone: lead bytes and trail bytes, each range with its step.
struct GbkZone {
    const char* item;
    BYTE leadFirst, leadLast, leadStep;
    BYTE trailFirst, trailLast, trailStep;
};

constexpr std::array<GbkZone, 5> kZones{{
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

void handleTestChar(HWND page)
{
    if (!CheckPort_T(kNoPort))
        return;
    std::array<BYTE, 128> buffer{};
    size_t n = 0;
    for (BYTE b : {0x1B, 0x40, 0x1C, 0x2E, 0x1B, 0x21})
        buffer[n++] = b;
    BYTE mode = CheckedBits(page, kLatinModes);
    if (ComboSelection(page, IDC_CHAR_FONT) == 0)
        mode |= 0x01; // "7x9"
    buffer[n++] = mode;
    if (IsDlgButtonChecked(page, IDC_CHAR_ASC) == BST_CHECKED) {
        for (BYTE c = 'A'; c <= 'Z'; ++c)
            buffer[n++] = c;
    } else if (IsDlgButtonChecked(page, IDC_CHAR_H) == BST_CHECKED || IsDlgButtonChecked(page, IDC_CHAR_I) == BST_CHECKED) {
        const BYTE c = IsDlgButtonChecked(page, IDC_CHAR_H) == BST_CHECKED ? 'H' : 'I';
        for (int i = 0; i < 42; ++i)
            buffer[n++] = c;
    }
    buffer[n++] = 0x0A;
    SendTest_T(page, std::span(buffer.data(), n), SEND_MODE_CMDS | SEND_TEXT | SEND_LOOP, kRefused);
}

void handleTestGbk(HWND page)
{
    if (!CheckPort_T(kNoPort))
        return;
    std::array<BYTE, 2048> buffer{};
    size_t n = 0;
    for (BYTE b : {0x1B, 0x40, 0x1C, 0x21})
        buffer[n++] = b;
    buffer[n++] = CheckedBits(page, kChineseModes);
    const int selected = ComboSelection(page, IDC_GBK_ZONE);
    if (selected >= 0 && selected < static_cast<int>(kZones.size())) {
        const GbkZone& zone = kZones[static_cast<size_t>(selected)];
        for (int lead = zone.leadFirst; lead <= zone.leadLast; lead += zone.leadStep) {
            for (int trail = zone.trailFirst; trail <= zone.trailLast; trail += zone.trailStep) {
                buffer[n++] = static_cast<BYTE>(lead);
                buffer[n++] = static_cast<BYTE>(trail);
            }
        }
    }
    buffer[n++] = 0x0A;
    SendTest_T(page, std::span(buffer.data(), n), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE, kRefused);
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
