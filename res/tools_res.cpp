// Templates of the printer toolbox and its pages, child dialogs laid over
// its tab control.
#include "res/tools_res.h"

#include "res/resource.h"
#include "res/styles.h"

#include <array>

namespace {

using namespace res_style;

constexpr DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kPage = WS_CHILD | DS_SETFONT;

constexpr std::array kToolsItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "请选择接口", 7, 4, 326, 28},
    DlgItemTemplate{IDC_TL_PARALLEL, "BUTTON", kRadio | WS_GROUP, "并行口", 30, 16, 56, 10},
    DlgItemTemplate{IDC_TL_SERIAL, "BUTTON", kRadio, "串行口", 120, 16, 56, 10},
    DlgItemTemplate{IDC_TL_USB, "BUTTON", kRadio, "USB口", 210, 16, 56, 10},
    DlgItemTemplate{IDC_TL_NETWORK, "BUTTON", kRadio, "网络口", 280, 16, 50, 10},
    DlgItemTemplate{IDC_TL_TAB, "SysTabControl32", kChild | WS_TABSTOP, "", 7, 36, 326, 206},
    DlgItemTemplate{IDC_TL_STATUS, "STATIC", kLabel, "", 7, 250, 260, 10},
    DlgItemTemplate{IDC_TL_CLOSE, "BUTTON", kPush | WS_GROUP, "关闭", 283, 247, 50, 14},
};

constexpr std::array kImageItems{
    DlgItemTemplate{IDC_IM_OPEN, "BUTTON", kPush | WS_GROUP, "选择图片…", 4, 4, 54, 14},
    DlgItemTemplate{IDC_IM_FILE, "EDIT", kEdit | ES_READONLY, "", 62, 5, 248, 12},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "宽度(点)", 4, 24, 38, 10},
    DlgItemTemplate{IDC_IM_WIDTH, "EDIT", kEdit | WS_GROUP, "210", 44, 22, 30, 12},
    DlgItemTemplate{IDC_IM_PRESET, "COMBOBOX", kList | WS_GROUP, "", 78, 22, 86, 60},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "每行走纸", 172, 24, 36, 10},
    DlgItemTemplate{IDC_IM_FEED, "EDIT", kEdit | WS_GROUP, "16", 210, 22, 24, 12},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "抖动", 4, 42, 38, 10},
    DlgItemTemplate{IDC_IM_DITHER, "COMBOBOX", kList | WS_GROUP, "", 44, 40, 86, 60},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "阈值", 138, 42, 20, 10},
    DlgItemTemplate{IDC_IM_THRESHOLD, "EDIT", kEdit | WS_GROUP, "128", 160, 40, 26, 12},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "亮度", 194, 42, 20, 10},
    DlgItemTemplate{IDC_IM_BRIGHTNESS, "EDIT", kEdit | WS_GROUP, "0", 216, 40, 26, 12},
    DlgItemTemplate{IDC_IM_INVERT, "BUTTON", kCheck | WS_GROUP, "反色", 4, 58, 36, 10},
    DlgItemTemplate{IDC_IM_RASTER, "BUTTON", kCheck, "光栅 (GS v 0)", 44, 58, 70, 10},
    DlgItemTemplate{IDC_IM_SIZE, "STATIC", kLabel, "", 118, 58, 130, 10},
    DlgItemTemplate{IDC_IM_PRINT, "BUTTON", kPush | WS_GROUP, "打印图片", 256, 55, 54, 14},
    DlgItemTemplate{IDC_IM_PREVIEW, "STATIC", kChild | SS_BITMAP, "", 4, 74, 290, 110},
    // A picture taller than the preview is shown a screenful at a time.
    DlgItemTemplate{IDC_IM_UP, "BUTTON", kPush | WS_GROUP, "▲", 296, 74, 14, 14},
    DlgItemTemplate{IDC_IM_DOWN, "BUTTON", kPush, "▼", 296, 170, 14, 14},
};

constexpr std::array kCodePageItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "代码页编号 (ESC t n)", 8, 10, 84, 10},
    DlgItemTemplate{IDC_CP_NUMBER, "EDIT", kEdit | WS_GROUP, "0", 94, 8, 30, 12},
    DlgItemTemplate{IDC_CP_NAMED, "COMBOBOX", kList | WS_GROUP, "", 132, 8, 90, 120},
    DlgItemTemplate{IDC_CP_PRINT, "BUTTON", kPush | WS_GROUP, "打印", 8, 32, 56, 15},
    DlgItemTemplate{IDC_CP_PRINT_ALL, "BUTTON", kPush, "全部打印", 72, 32, 56, 15},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel,
                    "先退出汉字方式 (FS .)，选择代码页后打印 80–FF 的 16 × 8 字符表，最后复位打印机 (ESC @)。",
                    8, 56, 296, 24},
};

constexpr std::array kDrawerItems{
    DlgItemTemplate{IDC_DR_PIN2, "BUTTON", kRadio | WS_GROUP, "引脚2", 8, 10, 44, 10},
    DlgItemTemplate{IDC_DR_PIN5, "BUTTON", kRadio, "引脚5", 60, 10, 44, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "开启(ms)", 8, 30, 48, 10},
    DlgItemTemplate{IDC_DR_ON, "EDIT", kEdit | WS_GROUP, "100", 60, 28, 36, 12},
    DlgItemTemplate{IDC_DR_ON_BYTE, "STATIC", kLabel, "", 102, 30, 120, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "关闭(ms)", 8, 46, 48, 10},
    DlgItemTemplate{IDC_DR_OFF, "EDIT", kEdit | WS_GROUP, "100", 60, 44, 36, 12},
    DlgItemTemplate{IDC_DR_OFF_BYTE, "STATIC", kLabel, "", 102, 46, 120, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "连续", 8, 64, 48, 10},
    DlgItemTemplate{IDC_DR_TIMES, "EDIT", kEdit | WS_GROUP, "1", 60, 62, 24, 12},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "次，间隔(ms)", 88, 64, 52, 10},
    DlgItemTemplate{IDC_DR_INTERVAL, "EDIT", kEdit | WS_GROUP, "500", 142, 62, 40, 12},
    DlgItemTemplate{IDC_DR_BYTES, "STATIC", kLabel, "", 8, 82, 296, 10},
    DlgItemTemplate{IDC_DR_OPEN, "BUTTON", kPush | WS_GROUP, "开钱箱", 8, 100, 56, 15},
    DlgItemTemplate{IDC_DR_STOP, "BUTTON", kPush, "停止", 72, 100, 56, 15},
};

constexpr std::array kInfoItems{
    DlgItemTemplate{IDC_IF_READ, "BUTTON", kPush | WS_GROUP, "读取", 8, 8, 56, 15},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "型号:", 8, 34, 48, 10},
    DlgItemTemplate{IDC_IF_MODEL, "STATIC", kLabel, "", 60, 34, 240, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "类型:", 8, 50, 48, 10},
    DlgItemTemplate{IDC_IF_TYPE, "STATIC", kLabel, "", 60, 50, 240, 20},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "固件版本:", 8, 74, 48, 10},
    DlgItemTemplate{IDC_IF_VERSION, "STATIC", kLabel, "", 60, 74, 240, 10},
};

} // namespace

const DlgTemplate kToolsDialog{IDD_TOOLS, nullptr, kModal, 0, 0, 340, 266, "打印机工具", 0, "System", 10,
                               kToolsItems};
const DlgTemplate kToolsImagePage{IDD_TOOLS_IMAGE, nullptr, kPage, 0, 0, 314, 188, "", 0, "System", 10, kImageItems};
const DlgTemplate kToolsCodePagePage{IDD_TOOLS_CODEPAGE, nullptr, kPage, 0, 0, 314, 188, "", 0, "System", 10,
                                     kCodePageItems};
const DlgTemplate kToolsDrawerPage{IDD_TOOLS_DRAWER, nullptr, kPage, 0, 0, 314, 188, "", 0, "System", 10,
                                   kDrawerItems};
const DlgTemplate kToolsInfoPage{IDD_TOOLS_INFO, nullptr, kPage, 0, 0, 314, 188, "", 0, "System", 10, kInfoItems};
