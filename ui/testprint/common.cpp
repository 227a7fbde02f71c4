// The common tests page: a solid black print, the sample receipt, the two
// cash drawers, full and partial cuts, the automatic cutter switch and the
// printer's own serial baud rate.
#include "ui/testprint/testprint.h"

#include "printer/testprint.h"
#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"

#include <string>

namespace {

// The baud combo shows rows 2 to 7 of the baud table (1200 to 38400); the
// printer receives the combo's index.
constexpr size_t kFirstBaudRow = 2;
constexpr size_t kBaudRows = 6;
constexpr int kDefaultBaudIndex = 3; // 9600

void Send(HWND page, const std::string& bytes, const char* refused = kRefusedText_T)
{
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()), kTestFlags, refused);
}

void FillBaudCombo(HWND page)
{
    for (size_t row = kFirstBaudRow; row < kFirstBaudRow + kBaudRows; ++row)
        SendDlgItemMessageA(page, IDC_OT_BAUD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(MapText(gComRMap, row)));
    SendDlgItemMessageA(page, IDC_OT_BAUD, CB_SETCURSEL, kDefaultBaudIndex, 0);
}

} // namespace

void handleTestBlackImg(HWND page)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, BlackImgBytes());
}

void handleTestDots(HWND page)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, DotsBytes());
}

void handleTestCasher(HWND page, int drawer)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, CasherBytes(drawer));
}

void handleTestCutter(HWND page, int full)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, CutterBytes(full));
}

void handleCutter_SW(HWND page, int on)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, CutterSwBytes(on));
}

void handleSetCom(HWND page)
{
    if (!CheckPort_T(page, "Please select a interface"))
        return;
    // FF when nothing is selected.
    const BYTE index = static_cast<BYTE>(SendDlgItemMessageA(page, IDC_OT_BAUD, CB_GETCURSEL, 0, 0));
    Send(page, SetComBytes(index), "Send data error!Please try again");
}

INT_PTR CALLBACK bChild_Other_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnChildDialogInit(page);
        FillBaudCombo(page);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OT_BLACK:
            handleTestBlackImg(page);
            break;
        case IDC_OT_SAMPLE:
            handleTestDots(page);
            break;
        case IDC_OT_DRAWER1:
            handleTestCasher(page, 0);
            break;
        case IDC_OT_DRAWER2:
            handleTestCasher(page, 1);
            break;
        case IDC_OT_CUT_FULL:
            handleTestCutter(page, 1);
            break;
        case IDC_OT_CUT_PART:
            handleTestCutter(page, 0);
            break;
        case IDC_OT_CUTTER_ON:
            handleCutter_SW(page, 1);
            break;
        case IDC_OT_CUTTER_OFF:
            handleCutter_SW(page, 0);
            break;
        case IDC_OT_SET_BAUD:
            handleSetCom(page);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
