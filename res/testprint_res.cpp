// Templates of the test dialog (a port choice over a tab control) and of
// its six pages, which are child dialogs laid over the tab control.
#include "res/resource.h"
#include "res/styles.h"
#include "res/testprint_res.h"

#include <array>

namespace {

using namespace res_style;

constexpr DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
// Pages are shown by the dialog once placed, so not initially visible.
constexpr DWORD kPage = WS_CHILD | DS_SETFONT;

// ---------------------------------------------------------------- test dialog
constexpr std::array kTestItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "请选择接口", 7, 4, 286, 28},
    DlgItemTemplate{IDC_T_PARALLEL, "BUTTON", kRadio | WS_GROUP, "并行口", 30, 16, 56, 10},
    DlgItemTemplate{IDC_T_USB, "BUTTON", kRadio, "USB口", 122, 16, 56, 10},
    DlgItemTemplate{IDC_T_SERIAL, "BUTTON", kRadio, "串行口", 214, 16, 56, 10},
    // Added in free space left of 关闭, in the radios' group: the network printer.
    DlgItemTemplate{IDC_T_NETWORK, "BUTTON", kRadio, "网络口", 30, 224, 56, 10},
    DlgItemTemplate{IDC_T_GROUP, "BUTTON", kGroupBox, "测试项目", 7, 36, 286, 182},
    DlgItemTemplate{IDC_T_TAB, "SysTabControl32", kChild | WS_TABSTOP, "", 14, 46, 272, 166},
    DlgItemTemplate{IDC_T_CLOSE, "BUTTON", kPush | WS_GROUP, "关闭", 243, 222, 50, 14},
};

// ---------------------------------------------------------------- Latin characters
constexpr std::array kCharItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "打印内容", 8, 4, 90, 66},
    DlgItemTemplate{IDC_CHAR_ASC, "BUTTON", kRadio | WS_GROUP, "ASC循环", 18, 18, 70, 10},
    DlgItemTemplate{IDC_CHAR_H, "BUTTON", kRadio, "H打印", 18, 34, 70, 10},
    DlgItemTemplate{IDC_CHAR_I, "BUTTON", kRadio, "I打印", 18, 50, 70, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "字体选择", 112, 10, 40, 10},
    DlgItemTemplate{IDC_CHAR_FONT, "COMBOBOX", kList | WS_GROUP, "", 156, 8, 60, 60},
    DlgItemTemplate{IDC_CHAR_DWIDTH, "BUTTON", kCheck | WS_GROUP, "倍宽", 112, 28, 60, 10},
    DlgItemTemplate{IDC_CHAR_DHEIGHT, "BUTTON", kCheck, "倍高", 112, 42, 60, 10},
    DlgItemTemplate{IDC_CHAR_UNDERLINE, "BUTTON", kCheck, "下划线", 112, 56, 60, 10},
    DlgItemTemplate{IDC_CHAR_START, "BUTTON", kPush | WS_GROUP, "开始测试", 40, 90, 60, 16},
    DlgItemTemplate{IDC_CHAR_STOP, "BUTTON", kPush, "结束测试", 140, 90, 60, 16},
};

// ---------------------------------------------------------------- Chinese characters
constexpr std::array kGbkItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "汉字码区位", 12, 12, 50, 10},
    DlgItemTemplate{IDC_GBK_ZONE, "COMBOBOX", kList | WS_GROUP, "", 66, 10, 60, 80},
    DlgItemTemplate{IDC_GBK_DWIDTH, "BUTTON", kCheck | WS_GROUP, "倍宽", 150, 12, 60, 10},
    DlgItemTemplate{IDC_GBK_DHEIGHT, "BUTTON", kCheck, "倍高", 150, 28, 60, 10},
    DlgItemTemplate{IDC_GBK_UNDERLINE, "BUTTON", kCheck, "下划线", 150, 44, 60, 10},
    DlgItemTemplate{IDC_GBK_START, "BUTTON", kPush | WS_GROUP, "开始测试", 40, 90, 60, 16},
    DlgItemTemplate{IDC_GBK_STOP, "BUTTON", kPush, "结束测试", 140, 90, 60, 16},
};

// ---------------------------------------------------------------- black mark
constexpr std::array kBmarkItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "黑标到打印头偏移长度(mm):", 8, 10, 128, 10},
    DlgItemTemplate{IDC_BM_DIST_A, "EDIT", kEdit | WS_GROUP, "", 140, 8, 50, 12},
    DlgItemTemplate{IDC_BM_SET_A, "BUTTON", kPush, "确认", 198, 7, 40, 14},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "切纸位相对黑标偏移长度(mm):", 8, 28, 128, 10},
    DlgItemTemplate{IDC_BM_DIST_B, "EDIT", kEdit, "", 140, 26, 50, 12},
    DlgItemTemplate{IDC_BM_SET_B, "BUTTON", kPush, "确认", 198, 25, 40, 14},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "两黑标之间的长度(mm):", 8, 46, 128, 10},
    DlgItemTemplate{IDC_BM_DIST_C, "EDIT", kEdit, "", 140, 44, 50, 12},
    DlgItemTemplate{IDC_BM_SET_C, "BUTTON", kPush, "确认", 198, 43, 40, 14},
    DlgItemTemplate{IDC_BM_ON, "BUTTON", kPush | WS_GROUP, "黑标开启", 8, 68, 56, 15},
    DlgItemTemplate{IDC_BM_OFF, "BUTTON", kPush, "黑标关闭", 72, 68, 56, 15},
    DlgItemTemplate{IDC_BM_CUT, "BUTTON", kCheck | WS_GROUP, "打印结束后切纸", 8, 94, 90, 10},
    DlgItemTemplate{IDC_BM_TEST, "BUTTON", kPush | WS_GROUP, "测试黑标", 118, 91, 56, 15},
    DlgItemTemplate{IDC_BM_STOP, "BUTTON", kPush, "结束测试", 182, 91, 56, 15},
};

// ---------------------------------------------------------------- current test
constexpr std::array kDianliuItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "按下按钮, 打印机驱动相应部件, 以便测量电流:", 12, 14, 230, 10},
    DlgItemTemplate{IDC_DL_CARRIAGE, "BUTTON", kPush | WS_GROUP, "字车", 20, 44, 60, 16},
    DlgItemTemplate{IDC_DL_FEED, "BUTTON", kPush, "走纸", 100, 44, 60, 16},
    DlgItemTemplate{IDC_DL_PINS, "BUTTON", kPush, "出针", 180, 44, 60, 16},
};

// ---------------------------------------------------------------- common tests
constexpr std::array kOtherItems{
    DlgItemTemplate{IDC_OT_BLACK, "BUTTON", kPush | WS_GROUP, "全黑打印", 10, 8, 56, 15},
    DlgItemTemplate{IDC_OT_SAMPLE, "BUTTON", kPush, "样例测试", 74, 8, 56, 15},
    DlgItemTemplate{IDC_OT_DRAWER1, "BUTTON", kPush, "开钱箱1", 10, 30, 56, 15},
    DlgItemTemplate{IDC_OT_DRAWER2, "BUTTON", kPush, "开钱箱2", 74, 30, 56, 15},
    DlgItemTemplate{IDC_OT_CUT_FULL, "BUTTON", kPush, "全切纸", 10, 52, 56, 15},
    DlgItemTemplate{IDC_OT_CUT_PART, "BUTTON", kPush, "部分切纸", 74, 52, 56, 15},
    DlgItemTemplate{IDC_OT_CUTTER_ON, "BUTTON", kPush, "开切刀", 10, 74, 56, 15},
    DlgItemTemplate{IDC_OT_CUTTER_OFF, "BUTTON", kPush, "关切刀", 74, 74, 56, 15},
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "串口波特率", 146, 4, 104, 50},
    DlgItemTemplate{IDC_OT_BAUD, "COMBOBOX", kList | WS_GROUP, "", 154, 20, 50, 90},
    DlgItemTemplate{IDC_OT_SET_BAUD, "BUTTON", kPush | WS_GROUP, "确认", 210, 19, 34, 14},
};

// ---------------------------------------------------------------- USB test
constexpr std::array kUsbLibItems{
    DlgItemTemplate{IDC_USB_WRITE, "BUTTON", kPush | WS_GROUP, "写入字符串:", 20, 30, 60, 14},
    DlgItemTemplate{IDC_USB_WRITTEN, "EDIT", kEdit | ES_READONLY, "", 90, 31, 100, 12},
    DlgItemTemplate{IDC_USB_READ, "BUTTON", kPush | WS_GROUP, "读出字符串:", 20, 60, 60, 14},
    DlgItemTemplate{IDC_USB_READBACK, "EDIT", kEdit | ES_READONLY, "", 90, 61, 100, 12},
};

} // namespace

const DlgTemplate kTestDialog{IDD_TEST, nullptr, kModal, 0, 0, 300, 240, "", 0, "System", 10, kTestItems};
const DlgTemplate kTestCharPage{IDD_TEST_CHAR, nullptr, kPage, 0, 0, 256, 130, "", 0, "System", 10, kCharItems};
const DlgTemplate kTestGbkPage{IDD_TEST_GBK, nullptr, kPage, 0, 0, 256, 130, "", 0, "System", 10, kGbkItems};
const DlgTemplate kTestBmarkPage{IDD_TEST_BMARK, nullptr, kPage, 0, 0, 256, 130, "", 0, "System", 10, kBmarkItems};
const DlgTemplate kTestDianliuPage{IDD_TEST_DIANLIU, nullptr, kPage, 0, 0, 256, 130, "", 0, "System", 10,
                                   kDianliuItems};
const DlgTemplate kTestOtherPage{IDD_TEST_OTHER, nullptr, kPage, 0, 0, 256, 130, "", 0, "System", 10, kOtherItems};
const DlgTemplate kTestUsbLibPage{IDD_TEST_USBLIB, nullptr, kPage, 0, 0, 256, 130, "", 0, "System", 10,
                                  kUsbLibItems};
