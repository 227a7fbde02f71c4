// Test templates and the logging dialog procedure of the window layer's tests.
#include "ui/support/window_fixture.h"

#ifdef _WIN32
#include <map>
#else
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#endif

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kDialog = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

const DlgItemTemplate kControls[] = {
    {kGroupBox, "BUTTON", kChild | BS_GROUPBOX, "Ports", 4, 4, 120, 60},
    {kRadioA1, "BUTTON", kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, "Parallel", 10, 14, 60, 10},
    {kRadioA2, "BUTTON", kChild | BS_AUTORADIOBUTTON, "USB", 10, 26, 60, 10},
    {kRadioA3, "BUTTON", kChild | BS_AUTORADIOBUTTON, "Serial", 10, 38, 60, 10},
    {kRadioB1, "BUTTON", kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, "Once", 130, 14, 60, 10},
    {kRadioB2, "BUTTON", kChild | BS_AUTORADIOBUTTON, "Loop", 130, 26, 60, 10},
    {kAutoCheck, "BUTTON", kChild | BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, "HEX", 130, 40, 60, 10},
    {kPlainCheck, "BUTTON", kChild | BS_CHECKBOX | WS_TABSTOP, "Plain", 130, 52, 60, 10},
    {kPush, "BUTTON", kChild | BS_PUSHBUTTON | WS_TABSTOP, "Send", 4, 70, 50, 14},
    {kDisabledPush, "BUTTON", kChild | BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, "Hint", 60, 70, 50, 14},
    {kEdit, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, "", 4, 90, 100, 12},
    {kMultiEdit, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_MULTILINE | WS_VSCROLL, "", 4, 106, 100, 30},
    {kWantReturnEdit, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN, "", 110, 106, 100, 30},
    {kReadOnlyEdit, "EDIT", kChild | WS_BORDER | ES_READONLY, "fixed", 110, 90, 100, 12},
    {kCombo, "COMBOBOX", kChild | CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, "", 4, 140, 100, 60},
    {kLabel, "STATIC", kChild | SS_LEFT, "输入框:", 110, 140, 60, 10},
    {kTab, "SysTabControl32", kChild, "", 110, 156, 100, 50},
};

const DlgItemTemplate kSmallItems[] = {
    {kPush, "BUTTON", kChild | BS_PUSHBUTTON | WS_TABSTOP, "Open", 4, 4, 50, 14},
    {kDefPush, "BUTTON", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, "OK", 60, 4, 50, 14},
    {kEdit, "EDIT", kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, "", 4, 22, 100, 12},
};

const DlgItemTemplate kPageItems[] = {
    {kPageButton, "BUTTON", kChild | BS_PUSHBUTTON | WS_TABSTOP, "Page", 4, 4, 50, 14},
};

const DlgTemplate kTemplates[] = {
    {kTplControls, nullptr, kDialog, 0, 0, 220, 210, "Controls", 0, "System", 10, kControls},
    {kTplSmall, "SMALL_DIALOG", kDialog, 0, 0, 120, 40, "Small", 0, "System", 10, kSmallItems},
    {kTplPage, nullptr, WS_CHILD | DS_SETFONT, 10, 10, 80, 24, "", 0, "System", 10, kPageItems},
};

} // namespace

void RegisterTestTemplates()
{
    PlatTestClearDialogTemplates();
    for (const DlgTemplate& t : kTemplates)
        PlatTestAddDialogTemplate(&t);
}

std::vector<LoggedMessage>& MessageLog()
{
    static std::vector<LoggedMessage> log;
    return log;
}

int CommandCount(int id, int code)
{
    int n = 0;
    for (const LoggedMessage& m : MessageLog())
        if (m.message == WM_COMMAND && LOWORD(m.wParam) == id && HIWORD(m.wParam) == code)
            ++n;
    return n;
}

int MessageCount(UINT message)
{
    int n = 0;
    for (const LoggedMessage& m : MessageLog())
        n += m.message == message;
    return n;
}

INT_PTR CALLBACK LoggingDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
#ifdef _WIN32
    // Notifications Windows sends that our Qt layer leaves out on purpose,
    // as the program handles none: EN_UPDATE before each EN_CHANGE, and a
    // combo box's focus and its list opening, closing and being taken.
    if (message == WM_COMMAND)
        switch (HIWORD(wParam)) {
        case EN_UPDATE:
        case CBN_SETFOCUS:
        case CBN_KILLFOCUS:
        case CBN_DROPDOWN:
        case CBN_CLOSEUP:
        case CBN_SELENDOK:
        case CBN_SELENDCANCEL:
            return FALSE;
        }
#endif
    MessageLog().push_back({window, message, wParam, lParam});
    return message == WM_INITDIALOG || message == WM_CLOSE;
}

HWND OpenTestDialog(int tpl, DLGPROC proc)
{
    MessageLog().clear();
    return PlatTestOpenDialog(MAKEINTRESOURCEA(tpl), nullptr, proc);
}

#ifdef _WIN32
namespace {
std::map<UINT_PTR, std::function<void()>> gSingleShots; // by thread timer
} // namespace

void QTimer::singleShot(int ms, std::function<void()> f)
{
    const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(ms), [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        const auto shot = gSingleShots.extract(timer);
        if (!shot.empty())
            shot.mapped()();
    });
    gSingleShots[id] = std::move(f);
}

CloseMessageBoxesAtEnd::~CloseMessageBoxesAtEnd()
{
    PlatTestAnswerBoxShowing();
}

void SoonAfter(std::function<void()> f)
{
    f();
}

#else
QMessageBox* ShownMessageBox()
{
    return PlatTestShownMessageBox();
}

CloseMessageBoxesAtEnd::~CloseMessageBoxesAtEnd()
{
    while (QMessageBox* box = ShownMessageBox())
        box->close();
}

void SoonAfter(std::function<void()> f)
{
    QTimer::singleShot(0, std::move(f));
}

bool AnswerShownMessageBox(int button)
{
    QMessageBox* box = ShownMessageBox();
    QAbstractButton* b = box ? box->button(static_cast<QMessageBox::StandardButton>(button)) : nullptr;
    if (!b)
        return false;
    QTest::mouseClick(b, Qt::LeftButton);
    return true;
}

void SystemClick(QWidget* control)
{
    QWidget* top = control->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      control->mapTo(top, control->rect().center()));
}
#endif
