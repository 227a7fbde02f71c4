// The current test page: each button makes the printer drive one of its
// electro-mechanical parts so the current it draws can be measured.
#include "ui/testprint/testprint.h"

#include "res/resource.h"
#include "send/send.h"

#include <array>
#include <string>

namespace {

struct Drive {
    std::array<BYTE, 5> bytes;
    size_t length;
};

// Carriage, paper feed, pins; the parameters are fixed.
constexpr std::array<Drive, 3> kDrives{{
    {{0x1C, 0xAA, 0x16, 0x04}, 4},
    {{0x1C, 0xAA, 0x17, 0x02, 0x55}, 5},
    {{0x1C, 0xAA, 0x18, 0x01, 0x00}, 5},
}};

} // namespace

std::string DianliuBytes_T(int which)
{
    if (which < 0 || which >= static_cast<int>(kDrives.size()))
        return {};
    const Drive& drive = kDrives[static_cast<size_t>(which)];
    return std::string(reinterpret_cast<const char*>(drive.bytes.data()), drive.length);
}

void handleTestDianliu(HWND page, int which)
{
    if (which < 0 || which >= static_cast<int>(kDrives.size()) || !CheckPort_T(page, kNoPortText_T))
        return;
    const std::string command = DianliuBytes_T(which);
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(command.data()), command.size()), kTestFlags,
               kRefusedText_T);
}

INT_PTR CALLBACK bChild_Dianliu_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnChildDialogInit(page);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_DL_CARRIAGE:
            handleTestDianliu(page, 0);
            break;
        case IDC_DL_FEED:
            handleTestDianliu(page, 1);
            break;
        case IDC_DL_PINS:
            handleTestDianliu(page, 2);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
