// Templates of the download dialogs: firmware, font and machine number.
#include "res/download_res.h"

#include "res/resource.h"
#include "res/styles.h"

#include <array>

namespace {

using namespace res_style;

constexpr DWORD kPathBox = kChild | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL;
// A caption with a close box: closing asks the dialog, which may refuse
// while a download runs.
constexpr DWORD kDownloadFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// ---------------------------------------------------------------- firmware
constexpr std::array kDownVersionItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "请选择接口", 7, 4, 206, 28},
    DlgItemTemplate{IDC_DV_PARALLEL, "BUTTON", kRadio | WS_GROUP, "并行口", 20, 16, 56, 10},
    DlgItemTemplate{IDC_DV_USB, "BUTTON", kRadio, "USB口", 86, 16, 56, 10},
    DlgItemTemplate{IDC_DV_SERIAL, "BUTTON", kRadio | WS_DISABLED, "串行口", 152, 16, 56, 10},
    // Added below the original controls (the dialog grew to hold it): the network printer.
    DlgItemTemplate{IDC_DV_NETWORK, "BUTTON", kRadio, "网络口", 20, 117, 56, 10},

    DlgItemTemplate{IDC_DV_SEL_FILE, "BUTTON", kPush | WS_GROUP, "选择文件", 7, 38, 50, 14},
    DlgItemTemplate{IDC_DV_PATH, "EDIT", kPathBox, "", 62, 39, 151, 12},
    DlgItemTemplate{IDC_DV_ENTER_DOWNLOAD, "BUTTON", kPush, "进入下载状态", 7, 58, 64, 14},
    DlgItemTemplate{IDC_DV_SEND, "BUTTON", kPush, "更新版本", 80, 58, 56, 14},
    DlgItemTemplate{IDC_DV_EXIT, "BUTTON", kPush, "退 出", 163, 58, 50, 14},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "说明", 7, 78, 206, 36},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "并口开机即点\"进入下载状态\"按钮，再升级;", 14, 90, 194,
                    10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "U口直接点击\"更新版本\"按钮进行升级", 14, 102, 194, 10},
};

// ---------------------------------------------------------------- font
constexpr std::array kDownFontItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "请选择接口", 7, 4, 206, 28},
    DlgItemTemplate{IDC_DF_PARALLEL, "BUTTON", kRadio | WS_GROUP, "并行口", 20, 16, 56, 10},
    DlgItemTemplate{IDC_DF_USB, "BUTTON", kRadio, "USB口", 86, 16, 56, 10},
    DlgItemTemplate{IDC_DF_SERIAL, "BUTTON", kRadio, "串行口", 152, 16, 56, 10},
    // Added below the original controls (the dialog grew to hold it): the network printer.
    DlgItemTemplate{IDC_DF_NETWORK, "BUTTON", kRadio, "网络口", 20, 117, 56, 10},

    DlgItemTemplate{IDC_DF_SEL_FILE, "BUTTON", kPush | WS_GROUP, "选择文件", 7, 38, 50, 14},
    DlgItemTemplate{IDC_DF_PATH, "EDIT", kPathBox, "", 62, 39, 151, 12},
    DlgItemTemplate{IDC_DF_SEND, "BUTTON", kPush, "字库更新", 62, 58, 56, 14},
    DlgItemTemplate{IDC_DF_EXIT, "BUTTON", kPush, "退 出", 163, 58, 50, 14},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "说明", 7, 78, 206, 36},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "1) 选择下载接口", 14, 90, 194, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "2) 选定字库文件,按更新按钮开始下载", 14, 102, 194, 10},
};

// ---------------------------------------------------------------- machine number
constexpr std::array kDownPrnNumItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "请选择接口", 7, 4, 206, 28},
    DlgItemTemplate{IDC_DN_PARALLEL, "BUTTON", kRadio | WS_GROUP, "并行口", 20, 16, 56, 10},
    DlgItemTemplate{IDC_DN_USB, "BUTTON", kRadio, "USB口", 86, 16, 56, 10},
    DlgItemTemplate{IDC_DN_SERIAL, "BUTTON", kRadio, "串行口", 152, 16, 56, 10},
    // Added below the original controls (the dialog grew to hold it): the network printer.
    DlgItemTemplate{IDC_DN_NETWORK, "BUTTON", kRadio, "网络口", 20, 76, 56, 10},

    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel | WS_GROUP, "请输入机器编号", 7, 41, 60, 10},
    DlgItemTemplate{IDC_DN_NUMBER, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, "", 70, 39, 143, 12},
    DlgItemTemplate{IDC_DN_SEND, "BUTTON", kPush | WS_GROUP, "更新机器号", 7, 58, 60, 14},
    DlgItemTemplate{IDC_DN_PRINT, "BUTTON", kPush, "打印机器号", 80, 58, 60, 14},
    DlgItemTemplate{IDC_DN_EXIT, "BUTTON", kPush, "退 出", 163, 58, 50, 14},
};

} // namespace

extern const DlgTemplate kDownVersionDialog{
    IDD_DOWN_VERSION, nullptr, kDownloadFrame, 0, 0, 220, 148, "下载版本文件", 0, "System", 10, kDownVersionItems};

extern const DlgTemplate kDownFontDialog{
    IDD_DOWN_FONT, nullptr, kDownloadFrame, 0, 0, 220, 148, "下载字库文件", 0, "System", 10, kDownFontItems};

extern const DlgTemplate kDownPrnNumDialog{
    IDD_DOWN_PRN_NUM, nullptr, kDownloadFrame, 0, 0, 220, 108, "更新机器编号", 0, "System", 10, kDownPrnNumItems};
