// Templates of the port settings dialog and the EPP console.
#include "res/ports_res.h"
#include "res/resource.h"
#include "res/styles.h"

#include <array>

namespace {

using namespace res_style;

// ---------------------------------------------------------------- port settings
// The parallel and USB groups on the left, the serial group on the right
// with its boxes top to bottom: port (and the device it opens, with the
// button that reads the device list again), baud rate, parity, data bits,
// stop bits, flow control. The serial group is wider than the first
// layout's, for the device's path and a whole "(默认COM1)".
constexpr std::array kPortSetItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "并行端口设置", 7, 4, 88, 62},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "选择端口", 13, 16, 40, 9},
    DlgItemTemplate{IDC_PS_LPT, "COMBOBOX", kList | WS_GROUP, "", 13, 27, 38, 60},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "(默认LPT1)", 53, 29, 40, 9},
    DlgItemTemplate{IDC_PS_TEST_LPT, "BUTTON", kPush | WS_GROUP, "测试lpt", 13, 45, 50, 14},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "usb端口设置", 7, 70, 88, 46},
    DlgItemTemplate{IDC_PS_USB1, "BUTTON", kRadio | WS_GROUP, "USB1.0系统", 13, 83, 76, 10},
    DlgItemTemplate{IDC_PS_USB2, "BUTTON", kRadio, "USB2.0", 13, 99, 76, 10},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "串行端口设置", 100, 4, 183, 112},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "选择端口", 106, 17, 34, 9},
    DlgItemTemplate{IDC_PS_COM, "COMBOBOX", kList | WS_GROUP, "", 140, 15, 36, 90},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "(默认COM1)", 178, 17, 50, 9},
    DlgItemTemplate{IDC_PS_DEVICE_LABEL, "STATIC", kLabel, "设备", 106, 31, 20, 9},
    DlgItemTemplate{IDC_PS_DEVICE, "COMBOBOX", kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN, "", 126, 29, 119,
                    90},
    DlgItemTemplate{IDC_PS_REFRESH, "BUTTON", kPush, "刷新", 249, 29, 28, 13},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "每秒位数(R)", 106, 45, 52, 9},
    DlgItemTemplate{IDC_PS_BAUD, "COMBOBOX", kList, "", 160, 43, 50, 90},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "奇偶检验(P)", 106, 59, 52, 9},
    DlgItemTemplate{IDC_PS_PARITY, "COMBOBOX", kList, "", 160, 57, 50, 70},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "数据位(D)", 106, 73, 52, 9},
    DlgItemTemplate{IDC_PS_DATABITS, "COMBOBOX", kList, "", 160, 71, 50, 60},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "停止位(S)", 106, 87, 52, 9},
    DlgItemTemplate{IDC_PS_STOPBITS, "COMBOBOX", kList, "", 160, 85, 50, 50},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "数据流控制(F)", 106, 101, 52, 9},
    DlgItemTemplate{IDC_PS_FLOW, "COMBOBOX", kList, "", 160, 99, 50, 50},

    DlgItemTemplate{IDC_PS_OK, "BUTTON", kPush | WS_GROUP, "确定", 64, 134, 50, 14},
    DlgItemTemplate{IDC_PS_CANCEL, "BUTTON", kPush, "取消", 120, 134, 50, 14},
    DlgItemTemplate{IDC_PS_DEFAULT, "BUTTON", kPush, "默认设置", 176, 134, 50, 14},

    // Added below the original controls (the dialog grew to hold it): the
    // network printer, its address, port and connect time-out.
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "网络打印机设置", 7, 154, 276, 46},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "地址", 13, 168, 18, 9},
    DlgItemTemplate{IDC_PS_NET_HOST, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | WS_GROUP, "", 33, 166,
                    108, 12},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "端口", 147, 168, 18, 9},
    DlgItemTemplate{IDC_PS_NET_PORT, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, "9100", 167, 166, 30,
                    12},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "连接超时", 203, 168, 34, 9},
    DlgItemTemplate{IDC_PS_NET_TIMEOUT, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, "5", 239, 166, 22,
                    12},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "秒", 264, 168, 12, 9},
    DlgItemTemplate{IDC_PS_NET_TEST, "BUTTON", kPush | WS_GROUP, "测试连接", 13, 182, 50, 13},
    DlgItemTemplate{IDC_PS_NET_RESULT, "STATIC", kLabel, "", 68, 184, 210, 9},
};

// ---------------------------------------------------------------- EPP console
constexpr std::array kEppItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "并口及状态", 7, 4, 216, 30},
    DlgItemTemplate{IDC_EPP_PARALLEL, "BUTTON", kRadio | WS_GROUP, "并行口(epp)", 14, 17, 64, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "状态口(0x379)", 90, 18, 52, 9},
    DlgItemTemplate{IDC_EPP_STATUS, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_READONLY, "", 144, 16, 40, 12},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "写数据", 7, 38, 216, 80},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "输入框:", 14, 51, 32, 9},
    DlgItemTemplate{IDC_EPP_INPUT, "EDIT",
                    kChild | WS_BORDER | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                    "", 48, 49, 120, 40},
    DlgItemTemplate{IDC_EPP_HEX, "BUTTON", kCheck | WS_GROUP, "HEX发送", 174, 51, 45, 10},
    DlgItemTemplate{IDC_EPP_LOOP, "BUTTON", kCheck, "循环发送", 174, 65, 45, 10},
    DlgItemTemplate{IDC_EPP_SEND, "BUTTON", kPush | WS_GROUP, "发送", 14, 97, 50, 14},
    DlgItemTemplate{IDC_EPP_STOP_SEND, "BUTTON", kPush, "结束发送", 70, 97, 50, 14},
    DlgItemTemplate{IDC_EPP_CLEAR, "BUTTON", kPush, "清除输入框", 126, 97, 60, 14},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "读数据", 7, 122, 216, 32},
    DlgItemTemplate{IDC_EPP_START_READ, "BUTTON", kPush | WS_GROUP, "开始读", 14, 135, 50, 14},
    DlgItemTemplate{IDC_EPP_STOP_READ, "BUTTON", kPush, "结束读", 70, 135, 50, 14},
};

} // namespace

const DlgTemplate kPortSetDialog{
    IDD_PORT_SETTINGS, nullptr, kModal, 0, 0, 290, 205, "", 0, "System", 8, kPortSetItems};

const DlgTemplate kEppDialog{IDD_EPP, nullptr, kModal, 0, 0, 230, 160, "", 0, "System", 10, kEppItems};
