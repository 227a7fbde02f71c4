// The program's dialog templates, its menu and its pictures, as data.
#include "res/resources.h"

#include "res/download_res.h"
#include "res/ports_res.h"
#include "res/resource.h"
#include "res/styles.h"
#include "res/testprint_res.h"
#include "res/tools_res.h"

#include <array>
#include <cstring>

extern const unsigned char mptest_art_icon104_png[];
extern const std::size_t mptest_art_icon104_png_size;
extern const unsigned char mptest_art_bitmap1_png[];
extern const std::size_t mptest_art_bitmap1_png_size;

namespace {

using namespace res_style;

// ---------------------------------------------------------------- main window
constexpr std::array kMainItems{
    DlgItemTemplate{IDC_MAIN_PICTURE, "STATIC", kChild | SS_BITMAP, "", 0, 0, 250, 150, IDB_MAIN_PICTURE},
};

constexpr DlgTemplate kMainDialog{
    0, IDD_MAIN_DIALOG_NAME, kModal | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 250, 150,
    "mptest", IDR_MENU1, "MS Shell Dlg", 8, kMainItems};

// ---------------------------------------------------------------- About box
constexpr std::array kAboutItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kChild | SS_ICON, "", 14, 12, 21, 20, IDI_MPTEST},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "微型打印机综合测试软件V2.4", 44, 14, 124, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "开发单位:", 44, 32, 124, 10},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "衡岚电子科技有限公司", 44, 46, 124, 10},
    DlgItemTemplate{IDC_ABOUT_OK, "BUTTON", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, "确定", 62, 72, 50, 15},
};

constexpr DlgTemplate kAboutDialog{
    IDD_ABOUT, nullptr, kModal, 0, 0, 175, 97, "", 0, "System", 10, kAboutItems};

// ---------------------------------------------------------------- command console
constexpr std::array kUserCmdItems{
    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "请选择接口", 7, 4, 250, 28},
    DlgItemTemplate{IDC_UC_PARALLEL, "BUTTON", kRadio | WS_GROUP, "并行口", 22, 16, 56, 10},
    DlgItemTemplate{IDC_UC_USB, "BUTTON", kRadio, "USB口", 104, 16, 56, 10},
    DlgItemTemplate{IDC_UC_SERIAL, "BUTTON", kRadio, "串行口", 186, 16, 56, 10},
    // Added in free space left of 退出, in the radios' group: the network printer.
    DlgItemTemplate{IDC_UC_NETWORK, "BUTTON", kRadio, "网络口", 22, 153, 56, 10},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "命令输入", 7, 35, 250, 74},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "输入框:", 14, 48, 32, 9},
    DlgItemTemplate{IDC_UC_INPUT, "EDIT",
                    kChild | WS_BORDER | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                    "", 48, 46, 140, 40},
    DlgItemTemplate{IDC_UC_HEX, "BUTTON", kCheck | WS_GROUP, "HEX发送", 194, 48, 58, 10},
    DlgItemTemplate{IDC_UC_LOOP_CMDS, "BUTTON", kCheck, "循环发送", 194, 62, 58, 10},
    DlgItemTemplate{IDC_UC_SEND, "BUTTON", kPush | WS_GROUP, "发送", 14, 90, 50, 14},
    DlgItemTemplate{IDC_UC_STOP_CMDS, "BUTTON", kPush, "结束发送", 70, 90, 50, 14},
    DlgItemTemplate{IDC_UC_CLEAR, "BUTTON", kPush, "清除输入框", 126, 90, 60, 14},
    DlgItemTemplate{IDC_UC_INPUT_HINT, "BUTTON", kPush | WS_DISABLED, "输入提示", 194, 90, 56, 14},

    DlgItemTemplate{IDC_STATIC_TEXT, "BUTTON", kGroupBox, "文件发送", 7, 112, 250, 38},
    DlgItemTemplate{IDC_UC_SEL_FILE, "BUTTON", kPush | WS_GROUP, "选择文件", 14, 122, 50, 12},
    DlgItemTemplate{IDC_UC_FILE_NAME, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, "",
                    70, 122, 180, 12},
    DlgItemTemplate{IDC_UC_LOOP_FILE, "BUTTON", kCheck | WS_GROUP, "循环发送", 14, 137, 50, 10},
    DlgItemTemplate{IDC_UC_SEND_FILE, "BUTTON", kPush | WS_GROUP, "发送文件", 70, 135, 50, 13},
    DlgItemTemplate{IDC_UC_STOP_FILE, "BUTTON", kPush, "结束发送", 126, 135, 50, 13},

    DlgItemTemplate{IDC_UC_EXIT, "BUTTON", kPush | WS_GROUP, "退出", 207, 152, 50, 12},

    // Added below the original controls: what the printer sends back.
    // The view comes last, at the bottom: on a short screen it alone gives up height.
    DlgItemTemplate{IDC_UC_RX_GROUP, "BUTTON", kGroupBox, "接收数据", 7, 166, 250, 100},
    // The count has room for ten digits.
    DlgItemTemplate{IDC_UC_RX_HEX, "BUTTON", kCheck | WS_GROUP, "HEX显示", 14, 178, 44, 10},
    DlgItemTemplate{IDC_UC_RX_STAMPS, "BUTTON", kCheck, "时间戳", 60, 178, 36, 10},
    DlgItemTemplate{IDC_UC_RX_CLEAR, "BUTTON", kPush | WS_GROUP, "清除", 99, 176, 26, 13},
    DlgItemTemplate{IDC_UC_STATUS_QUERY, "BUTTON", kPush, "状态查询", 128, 176, 38, 13},
    DlgItemTemplate{IDC_UC_RX_COUNT, "STATIC", kLabel, "已接收 0 字节", 168, 178, 86, 9},
    DlgItemTemplate{IDC_STATIC_TEXT, "STATIC", kLabel, "行尾:", 14, 195, 22, 9},
    DlgItemTemplate{IDC_UC_LINE_END, "COMBOBOX", kList | WS_GROUP, "", 36, 193, 46, 60},
    DlgItemTemplate{IDC_UC_LOG_SAVE, "BUTTON", kPush | WS_GROUP, "保存记录…", 90, 192, 52, 13},
    DlgItemTemplate{IDC_UC_LOG_APPEND, "BUTTON", kCheck, "持续记录", 148, 194, 50, 10},
    DlgItemTemplate{IDC_UC_RX_VIEW, "EDIT", kChild | WS_BORDER | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
                    "", 14, 208, 236, 52},
};

constexpr DlgTemplate kUserCmdDialog{
    IDD_USER_CMD, nullptr, kModal, 0, 0, 264, 280, "", 0, "System", 10, kUserCmdItems};

const std::array<const DlgTemplate*, 20> kDialogs{
    &kMainDialog,   &kAboutDialog,     &kUserCmdDialog, &kTestDialog,     &kTestCharPage,
    &kTestGbkPage,  &kTestBmarkPage,   &kTestDianliuPage, &kTestOtherPage, &kTestUsbLibPage,
    &kDownVersionDialog, &kDownFontDialog, &kDownPrnNumDialog, &kPortSetDialog, &kEppDialog,
    &kToolsDialog, &kToolsImagePage, &kToolsCodePagePage, &kToolsDrawerPage, &kToolsInfoPage};

// ---------------------------------------------------------------- menu
constexpr std::array kMenuSystem{
    MenuItemTemplate{"端口设置", IDM_PORT_SETTINGS},
    MenuItemTemplate{"退出", IDM_EXIT},
};
constexpr std::array kMenuTest{
    MenuItemTemplate{"测试与调整", IDM_TEST},
    MenuItemTemplate{nullptr, 0},
    MenuItemTemplate{"打印机工具…", IDM_TOOLS},
};
constexpr std::array kMenuCmd{MenuItemTemplate{"命令输入", IDM_USER_CMD}};
constexpr std::array kMenuDownload{
    MenuItemTemplate{"版本文件", IDM_DOWN_VERSION},
    MenuItemTemplate{"字库文件", IDM_DOWN_FONT},
    MenuItemTemplate{"机器编号", IDM_DOWN_PRN_NUM},
};
constexpr std::array kMenuAbout{MenuItemTemplate{"关于. . .", IDM_ABOUT}};

constexpr std::array kMenuPopups{
    MenuPopupTemplate{"系统设置", kMenuSystem},
    MenuPopupTemplate{"性能测试", kMenuTest},
    MenuPopupTemplate{"命令输入", kMenuCmd},
    MenuPopupTemplate{"版本与字库下载", kMenuDownload},
    MenuPopupTemplate{"程序说明", kMenuAbout},
};

constexpr MenuTemplate kMenu1{IDR_MENU1, kMenuPopups};

} // namespace

const DlgTemplate* ResFindDialog(LPCSTR name)
{
    if (name == nullptr)
        return nullptr;
    for (const DlgTemplate* t : kDialogs) {
        if (IS_INTRESOURCE(name)) {
            if (t->id != 0 && t->id == static_cast<int>(reinterpret_cast<uintptr_t>(name)))
                return t;
        } else if (t->name != nullptr && std::strcmp(t->name, name) == 0) {
            return t;
        }
    }
    return nullptr;
}

const MenuTemplate* ResFindMenu(int id)
{
    return id == kMenu1.id ? &kMenu1 : nullptr;
}

const ImageResource* ResFindImage(ResImageKind kind, int id)
{
    static const ImageResource icon{ResImageKind::Icon, IDI_MPTEST,
                                    {mptest_art_icon104_png, mptest_art_icon104_png_size}};
    static const ImageResource picture{ResImageKind::Bitmap, IDB_MAIN_PICTURE,
                                       {mptest_art_bitmap1_png, mptest_art_bitmap1_png_size}};
    if (kind == icon.kind && id == icon.id)
        return &icon;
    if (kind == picture.kind && id == picture.id)
        return &picture;
    return nullptr;
}

void ResRegister()
{
    PlatSetResourceFinders({ResFindDialog, ResFindMenu, ResFindImage});
}
