// The black-mark page: black-mark mode on and off, the three distances in
// 0.176 mm motion units, and the black-mark test line with an optional cut.
#include "ui/testprint/testprint.h"

#include "res/resource.h"
#include "send/send.h"

#include <array>
#include <climits>
#include <cmath>
#include <string>

namespace {

const char kNoPort[] = "Please select a printer port";
const char kRefused[] = "Send data error!Please try again";
constexpr WORD kFlags = SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE;

struct Distance {
    int edit;
    int maxChars; // characters read from the edit box
    BYTE command;
    int offsetMm;
    const char* confirmation;
};

// Operations 3, 4 and 5: distances A, B and C.
constexpr std::array<Distance, 3> kDistances{{
    {IDC_BM_DIST_A, 9, 0x13, 27, "黑标到打印头偏移长度设置成功\n"},
    {IDC_BM_DIST_B, 127, 0x14, 43, "切纸位相对黑标偏移长度设置成功\n"},
    {IDC_BM_DIST_C, 127, 0x12, 0, "两黑标之间的长度设置成功\n"},
}};

// ESC @, then the stored test line: 1D CB, "M test", LF.
constexpr std::array<BYTE, 11> kTestLine{0x1B, 0x40, 0x1D, 0xCB, 0x4D, 0x20, 0x74, 0x65, 0x73, 0x74, 0x0A};
constexpr std::array<BYTE, 4> kCutAfter{0x1D, 0x56, 0x66, 0x01};

void Append(std::string& out, std::initializer_list<BYTE> bytes)
{
    for (BYTE b : bytes)
        out.push_back(static_cast<char>(b));
}

} // namespace

int ReadDecimal_T(const char* text)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // saturated: no more digits matter
    }
    // INT_MAX + 1 stands for "too large": INT_MIN when negative, else INT_MAX.
    if (negative)
        return static_cast<int>(-value);
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

WORD DistanceUnits_T(int mm, int offsetMm)
{
    const double units = std::trunc((static_cast<double>(mm) + offsetMm) / 0.176);
    return static_cast<WORD>(static_cast<unsigned long long>(static_cast<long long>(units)) & 0xFFFF);
}

std::string BlackMarkBytes_T(int operation, bool cut, const char* distance)
{
    std::string buffer;
    switch (operation) {
    case 0:
        buffer.assign(kTestLine.begin(), kTestLine.end());
        if (cut)
            buffer.append(kCutAfter.begin(), kCutAfter.end());
        break;
    case 1:
        Append(buffer, {0x1C, 0xAA, 0x11, 0x01});
        buffer += "  BM enable\n";
        break;
    case 2:
        Append(buffer, {0x1C, 0xAA, 0x11, 0x00});
        buffer += "  BM disable\n";
        break;
    case 3:
    case 4:
    case 5: {
        const Distance& d = kDistances[static_cast<size_t>(operation - 3)];
        // As many characters as the page's edit box gives.
        const std::string text = std::string(distance != nullptr ? distance : "").substr(0, d.maxChars);
        const WORD units = DistanceUnits_T(ReadDecimal_T(text.c_str()), d.offsetMm);
        Append(buffer, {0x1C, 0xAA, d.command, LOBYTE(units), static_cast<BYTE>(units >> 8)});
        buffer += PlatUtf8ToGbk(d.confirmation);
        break;
    }
    default:
        break;
    }
    return buffer;
}

void handleTestBlackMark(HWND page, int operation)
{
    if (operation < 0 || operation > 5 || !CheckPort_T(page, kNoPort))
        return;
    char text[128] = {};
    if (operation >= 3)
        GetDlgItemTextA(page, kDistances[static_cast<size_t>(operation - 3)].edit, text,
                        kDistances[static_cast<size_t>(operation - 3)].maxChars + 1);
    const std::string buffer = BlackMarkBytes_T(operation, IsDlgButtonChecked(page, IDC_BM_CUT) == BST_CHECKED, text);
    SendTest_T(page, std::span(reinterpret_cast<const BYTE*>(buffer.data()), buffer.size()), kFlags, kRefused);
}

INT_PTR CALLBACK bChild_Bmark_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnChildDialogInit(page);
        for (const Distance& d : kDistances)
            SetDlgItemTextA(page, d.edit, "0");
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
