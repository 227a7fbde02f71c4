// The black-mark page: black-mark mode on and off, the three distances in
// 0.176 mm motion units, and the black-mark test line with an optional cut.
#include "ui/testprint/testprint.h"

#include "printer/testprint.h"
#include "res/resource.h"
#include "send/send.h"

#include <array>
#include <string>

namespace {

const char kNoPort[] = "Please select a printer port";
const char kRefused[] = "Send data error!Please try again";
constexpr WORD kFlags = SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE;

// The edit box of each distance, for operations 3, 4 and 5 (A, B, C).
constexpr std::array<int, 3> kDistanceEdits{IDC_BM_DIST_A, IDC_BM_DIST_B, IDC_BM_DIST_C};

} // namespace

void handleTestBlackMark(HWND page, int operation)
{
    if (operation < 0 || operation > 5 || !CheckPort_T(page, kNoPort))
        return;
    char text[128] = {};
    if (operation >= 3)
        GetDlgItemTextA(page, kDistanceEdits[static_cast<size_t>(operation - 3)], text,
                        BlackMarkDistanceChars(operation) + 1);
    const std::string buffer = BlackMarkBytes(operation, IsDlgButtonChecked(page, IDC_BM_CUT) == BST_CHECKED, text);
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(buffer.data()), buffer.size()), kFlags, kRefused);
}

INT_PTR CALLBACK bChild_Bmark_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnChildDialogInit(page);
        for (int edit : kDistanceEdits)
            SetDlgItemTextA(page, edit, "0");
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BM_TEST:
            handleTestBlackMark(page, 0);
            break;
        case IDC_BM_ON:
            handleTestBlackMark(page, 1);
            break;
        case IDC_BM_OFF:
            handleTestBlackMark(page, 2);
            break;
        case IDC_BM_SET_A:
            handleTestBlackMark(page, 3);
            break;
        case IDC_BM_SET_B:
            handleTestBlackMark(page, 4);
            break;
        case IDC_BM_SET_C:
            handleTestBlackMark(page, 5);
            break;
        case IDC_BM_STOP:
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
