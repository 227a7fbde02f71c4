// The current test page: each button makes the printer drive one of its
// electro-mechanical parts so the current it draws can be measured.
#include "ui/testprint/testprint.h"

#include "printer/testprint.h"
#include "res/resource.h"
#include "send/send.h"

#include <string>

void handleTestDianliu(HWND page, int which)
{
    const std::string command = DianliuBytes(which);
    if (command.empty() || !CheckPort_T(page, kNoPortText_T))
        return;
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
