// The drawer page: pin, pulse on and off times (shown as the bytes they
// become), and N kicks with a pause between the end of one send and the
// start of the next, timed by the dialog's timer.
#include "ui/tools/tools.h"

#include "res/resource.h"
#include "ui/testprint/testprint.h"

#include <cstdio>

namespace {

// The job the controls describe; nullptr, or why they describe none.
const char* ReadDrawerJob(HWND page, DrawerJob* job)
{
    job->pin = IsDlgButtonChecked(page, IDC_DR_PIN5) == BST_CHECKED ? 5 : 2;
    if (!ReadToolsNumber(page, IDC_DR_ON, &job->onMs))
        return "开启时间不是数字";
    if (!ReadToolsNumber(page, IDC_DR_OFF, &job->offMs))
        return "关闭时间不是数字";
    if (!ReadToolsNumber(page, IDC_DR_TIMES, &job->times))
        return "次数不是数字";
    if (!ReadToolsNumber(page, IDC_DR_INTERVAL, &job->intervalMs))
        return "间隔不是数字";
    return CheckDrawerJob(*job);
}

std::string UnitText(int ms)
{
    if (ms < kDrawerMinMs || ms > kDrawerMaxMs)
        return "2–510 ms";
    char text[48];
    std::snprintf(text, sizeof text, "= %02X (%d ms)", DrawerPulseUnits(ms), DrawerPulseUnits(ms) * 2);
    return text;
}

} // namespace

void handleDrawerShow(HWND page)
{
    DrawerJob job;
    const char* bad = ReadDrawerJob(page, &job);
    int ms = 0;
    SetDlgItemTextA(page, IDC_DR_ON_BYTE, ReadToolsNumber(page, IDC_DR_ON, &ms) ? UnitText(ms).c_str() : "");
    SetDlgItemTextA(page, IDC_DR_OFF_BYTE, ReadToolsNumber(page, IDC_DR_OFF, &ms) ? UnitText(ms).c_str() : "");
    std::string line = bad != nullptr ? bad : "发送:";
    if (bad == nullptr) {
        char cell[4];
        for (unsigned char b : DrawerKickBytes(job)) {
            std::snprintf(cell, sizeof cell, " %02X", b);
            line += cell;
        }
        if (job.times > 1)
            line += "，共 " + std::to_string(job.times) + " 次，每次间隔 " + std::to_string(job.intervalMs) + " ms";
    }
    SetDlgItemTextA(page, IDC_DR_BYTES, line.c_str());
}

void handleDrawerOpen(HWND page)
{
    if (gTools.drawerLeft > 0)
        return; // a repeated job is running; 停止 ends it
    DrawerJob job;
    if (const char* bad = ReadDrawerJob(page, &job)) {
        ShowError_T(page, bad);
        return;
    }
    if (SendTools(page, DrawerKickBytes(job))) {
        gTools.drawer = job;
        gTools.drawerLeft = job.times - 1;
    }
}

void handleDrawerStop(HWND)
{
    gTools.drawerLeft = 0;
    KillTimer(gTools.dialog, kDrawerTimerId);
}

void OnToolsSendDone(HWND dialog)
{
    if (gTools.drawerLeft > 0)
        SetTimer(dialog, kDrawerTimerId, static_cast<UINT>(gTools.drawer.intervalMs), nullptr);
}

void OnDrawerTimer(HWND dialog)
{
    KillTimer(dialog, kDrawerTimerId);
    if (gTools.drawerLeft <= 0)
        return;
    --gTools.drawerLeft;
    if (!SendTools(gTools.pages[2], DrawerKickBytes(gTools.drawer)))
        gTools.drawerLeft = 0;
}

INT_PTR CALLBACK bTools_Drawer_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(page, IDC_DR_PIN2, BST_CHECKED);
        handleDrawerShow(page);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_DR_PIN2:
        case IDC_DR_PIN5:
            handleDrawerShow(page);
            break;
        case IDC_DR_ON:
        case IDC_DR_OFF:
        case IDC_DR_TIMES:
        case IDC_DR_INTERVAL:
            if (HIWORD(wParam) == EN_CHANGE)
                handleDrawerShow(page);
            break;
        case IDC_DR_OPEN:
            handleDrawerOpen(page);
            break;
        case IDC_DR_STOP:
            handleDrawerStop(page);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
