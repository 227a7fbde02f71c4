// The common tests page: a solid black print, the sample receipt, the two
// cash drawers, full and partial cuts, the automatic cutter switch and the
// printer's own serial baud rate.
#include "ui/testprint/testprint.h"

#include "port/port.h"
#include "res/resource.h"
#include "res/testprint_res.h"
#include "send/send.h"

#include <string>

namespace {

// The baud combo shows rows 2 to 7 of the baud table (1200 to 38400); the
// printer receives the combo's index.
constexpr size_t kFirstBaudRow = 2;
constexpr size_t kBaudRows = 6;
constexpr int kDefaultBaudIndex = 3; // 9600

std::string Bytes(std::initializer_list<BYTE> bytes)
{
    std::string out;
    for (BYTE b : bytes)
        out.push_back(static_cast<char>(b));
    return out;
}

void Send(HWND page, const std::string& bytes, const char* refused = kRefusedText_T)
{
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()), kTestFlags, refused);
}

// One band of the all-black print: ESC * 8-dot single density, 210 columns
// all black, CR, ESC J 16.
std::string BlackBand()
{
    return Bytes({0x1B, 0x2A, 0x00, 0xD2, 0x00}) + std::string(210, '\xFF') + Bytes({0x0D, 0x1B, 0x4A, 0x10});
}

void FillBaudCombo(HWND page)
{
    for (size_t row = kFirstBaudRow; row < kFirstBaudRow + kBaudRows; ++row)
        SendDlgItemMessageA(page, IDC_OT_BAUD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(MapText(gComRMap, row)));
    SendDlgItemMessageA(page, IDC_OT_BAUD, CB_SETCURSEL, kDefaultBaudIndex, 0);
}

} // namespace

std::string BlackImgBytes_T()
{
    std::string bytes;
    for (int band = 0; band < 5; ++band)
        bytes += BlackBand();
    return bytes;
}

std::string DotsBytes_T()
{
    return std::string(testSample1, kTestSample1Length);
}

std::string CasherBytes_T(int drawer)
{
    return Bytes({0x1B, 0x40}) + PlatUtf8ToGbk("测试钱箱\n") +
           Bytes({0x1B, 0x4A, 0x20, 0x1B, 0x70, static_cast<BYTE>(drawer), 0x33, 0x00, 0x00});
}

std::string CutterBytes_T(int full)
{
    return Bytes({0x1B, 0x40}) + PlatUtf8ToGbk("测试切刀\n") +
           Bytes({0x1B, 0x4A, 0x50, 0x1B, static_cast<BYTE>(full ? 0x69 : 0x6D)});
}

std::string CutterSwBytes_T(int on)
{
    // The text prints before the printer receives the switch.
    return Bytes({0x1B, 0x40}) + PlatUtf8ToGbk(on ? "切刀打开\n" : "切刀关闭\n") +
           Bytes({0x1C, 0xAA, 0x23, static_cast<BYTE>(on ? 1 : 0)});
}

std::string SetComBytes_T(BYTE index)
{
    // Every index sends the 20 bytes built.
    return "set successful\n" + Bytes({0x1C, 0xAA, 0x22, index, 0x00});
}

void handleTestBlackImg(HWND page)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, BlackImgBytes_T());
}

void handleTestDots(HWND page)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, DotsBytes_T());
}

void handleTestCasher(HWND page, int drawer)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, CasherBytes_T(drawer));
}

void handleTestCutter(HWND page, int full)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, CutterBytes_T(full));
}

void handleCutter_SW(HWND page, int on)
{
    if (CheckPort_T(page, kNoPortText_T))
        Send(page, CutterSwBytes_T(on));
}

void handleSetCom(HWND page)
{
    if (!CheckPort_T(page, "Please select a interface"))
        return;
    // FF when nothing is selected.
    const BYTE index = static_cast<BYTE>(SendDlgItemMessageA(page, IDC_OT_BAUD, CB_GETCURSEL, 0, 0));
    Send(page, SetComBytes_T(index), "Send data error!Please try again");
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
