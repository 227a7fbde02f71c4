// Test templates and the logging dialog procedure of the window layer's tests.
#include "ui/support/window_fixture.h"

#include <algorithm>

#ifdef _WIN32
#include "platform/windows/win.h"

#include <dlgs.h>

#include <map>
#else
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
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

void RunEventLoopUntil(const std::function<bool()>& done)
{
    const UINT_PTR tick = SetTimer(nullptr, 0, 1, nullptr); // wakes the loop to ask
    MSG msg;
    while (!done() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, tick);
}

std::string TitleBarText(HWND dialog)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(dialog)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(dialog, text.data(), static_cast<int>(text.size()))));
    return PlatNarrow(text);
}

bool TitleBarHasIcon(HWND dialog)
{
    return SendMessageW(dialog, WM_GETICON, ICON_SMALL2, 0) != 0; // the small one, made from the big one
}

namespace {

std::string TextOf(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return PlatNarrow(text);
}

constexpr int kBoxTextId = 0xFFFF; // the message box's text

// The message boxes this process shows now, whichever thread runs them.
std::vector<HWND> BoxesShowing()
{
    std::vector<HWND> boxes;
    EnumWindows(
        [](HWND window, LPARAM list) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            char cls[16] = {};
            GetClassNameA(window, cls, sizeof cls);
            if (process == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpA(cls, "#32770") == 0 &&
                GetDlgItem(window, kBoxTextId))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

std::map<UINT_PTR, std::function<void()>*> gRepeats; // by thread timer

} // namespace

std::optional<BoxOnScreen> BoxShowing(HWND dialog)
{
    const std::vector<HWND> boxes = BoxesShowing();
    if (boxes.empty())
        return std::nullopt;
    HWND owner = GetWindow(boxes.front(), GW_OWNER);
    return BoxOnScreen{TextOf(GetDlgItem(boxes.front(), kBoxTextId)), TextOf(boxes.front()), owner != nullptr,
                       dialog != nullptr && owner == GetAncestor(dialog, GA_ROOT)};
}

bool AnswerBoxShowing()
{
    const std::vector<HWND> boxes = BoxesShowing();
    if (boxes.empty())
        return false;
    PostMessageW(boxes.front(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return true;
}

CloseMessageBoxesAtEnd::~CloseMessageBoxesAtEnd()
{
    for (HWND box : BoxesShowing())
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void SystemClick(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
}

void SoonAfter(std::function<void()> f)
{
    f();
}

namespace {

// The system's chooser showing on this thread: a dialog with a type list
// and a name box.
HWND ChooserShowing()
{
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM p) {
            if (IsWindowVisible(window) && GetDlgItem(window, cmb1) && GetDlgItem(window, cmb13))
                *reinterpret_cast<HWND*>(p) = window;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

std::vector<std::string> ChooserOnScreen::filters() const
{
    std::vector<std::string> shown;
    HWND types = GetDlgItem(window, cmb1);
    const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(SendMessageW(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, L'\0');
        text.resize(static_cast<size_t>(
            SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()))));
        shown.push_back(PlatNarrow(text));
    }
    return shown;
}

std::vector<std::string> ChooserOnScreen::listed() const
{
    std::vector<std::string> names;
    HWND view = FindWindowExW(window, nullptr, L"SHELLDLL_DefView", nullptr);
    HWND list = view ? FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
    const LRESULT count = list ? SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[MAX_PATH] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        names.push_back(PlatNarrow(text));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ChooserOnScreen::choose(const std::string& name)
{
    SetWindowTextW(GetDlgItem(window, cmb13), PlatWide(name).c_str());
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
}

void ChooserOnScreen::cancel()
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
}

bool WithChooser(OPENFILENAMEA& ofn, BOOL& chosen, const std::function<void(ChooserOnScreen&)>& look,
                 BOOL (*ask)(LPOPENFILENAMEA))
{
    bool found = false;
    const ULONGLONG giveUp = GetTickCount64() + 10000;
    Repeat poll(10, [&] {
        HWND window = ChooserShowing();
        if (window && !found) {
            found = true;
            ChooserOnScreen chooser{window};
            look(chooser);
        } else if (window && GetTickCount64() > giveUp) {
            ChooserOnScreen{window}.cancel();
        }
    });
    chosen = ask(&ofn);
    return found;
}

Repeat::Repeat(int ms, std::function<void()> f) : f_(std::move(f))
{
    timer_ = SetTimer(nullptr, 0, static_cast<UINT>(ms), [](HWND, UINT, UINT_PTR timer, DWORD) {
        if (auto it = gRepeats.find(timer); it != gRepeats.end())
            (*it->second)();
    });
    gRepeats[timer_] = &f_;
}

Repeat::~Repeat()
{
    KillTimer(nullptr, timer_);
    gRepeats.erase(timer_);
}
#else
void RunEventLoopUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    look.start(1);
    if (!done())
        loop.exec();
}

std::string TitleBarText(HWND dialog)
{
    return PlatTestWidget(dialog)->windowTitle().toStdString();
}

bool TitleBarHasIcon(HWND dialog)
{
    return !PlatTestWidget(dialog)->windowIcon().isNull();
}

QMessageBox* ShownMessageBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            return box;
    return nullptr;
}

CloseMessageBoxesAtEnd::~CloseMessageBoxesAtEnd()
{
    while (QMessageBox* box = ShownMessageBox())
        box->close();
}

std::optional<BoxOnScreen> BoxShowing(HWND dialog)
{
    QMessageBox* box = ShownMessageBox();
    if (!box)
        return std::nullopt;
    return BoxOnScreen{box->text().toStdString(), box->windowTitle().toStdString(), box->parentWidget() != nullptr,
                       dialog != nullptr && box->parentWidget() == PlatTestWidget(dialog)->window()};
}

bool AnswerBoxShowing()
{
    return AnswerShownMessageBox(QMessageBox::Ok);
}

void SystemClick(HWND dialog, int id)
{
    SystemClick(PlatTestWidget(GetDlgItem(dialog, id)));
}

void SoonAfter(std::function<void()> f)
{
    QTimer::singleShot(0, std::move(f));
}

std::vector<std::string> ChooserOnScreen::filters() const
{
    std::vector<std::string> shown;
    if (auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo"))
        for (int i = 0; i < combo->count(); ++i)
            shown.push_back(combo->itemText(i).toStdString());
    return shown;
}

std::vector<std::string> ChooserOnScreen::listed() const
{
    std::vector<std::string> names;
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (!model)
        return names;
    const QModelIndex parent = model->index(dialog->directory().absolutePath());
    for (int row = 0; row < model->rowCount(parent); ++row)
        names.push_back(model->fileName(model->index(row, 0, parent)).toStdString());
    std::sort(names.begin(), names.end());
    return names;
}

// Typed, as a user may (selectFile leaves a name box that has the focus
// alone); accept() is what the Open button does.
void ChooserOnScreen::choose(const std::string& name)
{
    if (auto* box = dialog->findChild<QLineEdit*>("fileNameEdit"))
        box->setText(QString::fromStdString(name));
    static_cast<QDialog*>(dialog)->accept();
}

void ChooserOnScreen::cancel()
{
    dialog->reject();
}

bool WithChooser(OPENFILENAMEA& ofn, BOOL& chosen, const std::function<void(ChooserOnScreen&)>& look,
                 BOOL (*ask)(LPOPENFILENAMEA))
{
    bool found = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || found) {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && clock.elapsed() > 10000)
                modal->close();
            return;
        }
        found = true;
        ChooserOnScreen chooser{dialog};
        look(chooser);
    });
    poll.start(10);
    chosen = ask(&ofn);
    return found;
}

Repeat::Repeat(int ms, std::function<void()> f) : f_(std::move(f))
{
    timer_ = new QTimer;
    QObject::connect(timer_, &QTimer::timeout, [this] { f_(); });
    timer_->start(ms);
}

Repeat::~Repeat()
{
    delete timer_;
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
