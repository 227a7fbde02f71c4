// Dialogs on Qt Widgets: built from templates (the program's, found through
// the lookups it registers, or a test's), modal with a
// nested event loop or modeless, with their menu bar, icon, keyboard
// (Enter, Escape) and close box as a Windows dialog has them.
#include "platform/qt/qtwin.h"
#include "platform/linux/options.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// The window of a dialog. Its close box and Enter/Escape become messages to
// the dialog procedure; nothing here closes the window by itself.
class DialogWidget : public QWidget {
public:
    DialogWidget(HWND h, QWidget* parent) : QWidget(parent), hwnd(h) {}
    HWND hwnd;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        e->ignore();
        PlatQtDispatch(hwnd, WM_CLOSE, 0, 0);
    }
    void keyPressEvent(QKeyEvent* e) override;
};

// The push button that answers Enter: the focused one, else the dialog's
// default button. nullptr for none.
PlatWindow* EnterButton(PlatWindow* dialog, bool& isDefault)
{
    isDefault = false;
    HWND focused = PlatQtHandleOf(dialog->widget->window()->focusWidget());
    if (PlatWindow* f = PlatQtFind(focused); f && f->kind == PlatKind::PushButton)
        return f;
    for (HWND c : PlatQtChildren(dialog->handle)) {
        PlatWindow* w = PlatQtFind(c);
        if (w && w->kind == PlatKind::PushButton && (w->style & 0xF) == BS_DEFPUSHBUTTON) {
            isDefault = true;
            return w;
        }
    }
    return nullptr;
}

void DialogWidget::keyPressEvent(QKeyEvent* e)
{
    PlatWindow* w = PlatQtFind(hwnd);
    // A page inside another dialog leaves the keys to the dialog around it.
    if (!w || (w->style & WS_CHILD)) {
        e->ignore();
        return;
    }
    const int key = e->key();
    const bool plain = !(e->modifiers() & ~Qt::KeypadModifier);
    if (key == Qt::Key_Escape && plain) {
        PlatQtDispatch(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && plain) {
        bool isDefault = false;
        if (PlatWindow* b = EnterButton(w, isDefault)) {
            // A disabled default button swallows Enter, as on Windows.
            if (!b->widget->isEnabled())
                return;
            PlatQtDispatch(hwnd, WM_COMMAND, MAKEWPARAM(b->id, BN_CLICKED), reinterpret_cast<LPARAM>(b->handle));
        } else {
            PlatQtDispatch(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDOK)));
        }
        return;
    }
    QWidget::keyPressEvent(e);
}

// The program's resource lookups; empty until it registers them.
PlatResourceFinders gFinders;

// Icons loaded by LoadIconA, one per resource id, alive for the whole run.
struct IconRecord {
    QIcon icon;
};
std::map<int, std::unique_ptr<IconRecord>> gIcons;

QFont DialogFont(const DlgTemplate* tpl)
{
    QFont font = QApplication::font();
    if (tpl->fontName && *tpl->fontName) {
        font.setFamily(QString::fromUtf8(tpl->fontName));
        if (tpl->pointSize)
            font.setPointSize(tpl->pointSize);
    }
    return font;
}

QMenuBar* BuildMenu(HWND dialog, int menuId, QWidget* parent)
{
    const MenuTemplate* menu = gFinders.menu ? gFinders.menu(menuId) : nullptr;
    if (!menu)
        return nullptr;
    auto* bar = new QMenuBar(parent);
    for (const MenuPopupTemplate& popup : menu->popups) {
        QMenu* m = bar->addMenu(QString::fromUtf8(popup.text));
        for (const MenuItemTemplate& item : popup.items) {
            if (item.text == nullptr) {
                m->addSeparator();
                continue;
            }
            QAction* a = m->addAction(QString::fromUtf8(item.text));
            const WORD cmd = item.command;
            a->setData(static_cast<int>(cmd));
            QObject::connect(a, &QAction::triggered, [dialog, cmd] {
                PlatQtDispatch(dialog, WM_COMMAND, MAKEWPARAM(cmd, 0), 0);
            });
        }
    }
    return bar;
}

void FocusFirstTabStop(PlatWindow* dialog)
{
    for (HWND c : PlatQtChildren(dialog->handle)) {
        PlatWindow* w = PlatQtFind(c);
        if (w && (w->style & WS_TABSTOP) && w->widget->isEnabled() && !w->widget->isHidden()) {
            w->widget->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

} // namespace

void PlatQtBaseUnits(const QFont& font, int& baseX, int& baseY)
{
    QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = (width + 26) / 52;
    baseY = fm.height();
    if (baseX < 1)
        baseX = 1;
    if (baseY < 1)
        baseY = 1;
}

int PlatQtMulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    const long long d = std::llabs(denominator);
    // Rounded half away from zero, as Windows' MulDiv rounds.
    long long q = (std::llabs(product) + d / 2) / d;
    if ((product < 0) != (denominator < 0))
        q = -q;
    return q > INT_MAX || q < INT_MIN ? -1 : static_cast<int>(q);
}

int PlatQtUnitsX(const PlatDialog& dialog, int x)
{
    return PlatQtMulDiv(x, dialog.baseX, 4);
}

int PlatQtUnitsY(const PlatDialog& dialog, int y)
{
    return PlatQtMulDiv(y, dialog.baseY, 8);
}

QPixmap PlatQtImage(ResImageKind kind, int id)
{
    QPixmap pm;
    if (const ImageResource* img = gFinders.image ? gFinders.image(kind, id) : nullptr)
        pm.loadFromData(img->bytes.data(), static_cast<uint>(img->bytes.size()), "PNG");
    return pm;
}

const DlgTemplate* PlatQtFindDialogTemplate(LPCSTR name)
{
    if (auto& find = PlatQtTestHooks().findDialog)
        if (const DlgTemplate* t = find(name))
            return t;
    return gFinders.dialog ? gFinders.dialog(name) : nullptr;
}

void PlatSetResourceFinders(const PlatResourceFinders& finders)
{
    gFinders = finders;
}

HWND PlatQtCreateDialog(const DlgTemplate* tpl, HWND parent, DLGPROC proc, LPARAM param, bool show)
{
    PlatQtEnsureApp();
    if (!tpl || !PlatQtOnUiThread()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool child = tpl->style & WS_CHILD;
    PlatWindow* parentRec = PlatQtFind(parent);
    if (parent && !parentRec) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (child && !parentRec) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }

    auto rec = std::make_unique<PlatWindow>();
    rec->kind = PlatKind::Dialog;
    rec->style = tpl->style;
    rec->id = tpl->id;
    rec->parent = parent;
    rec->dialog = std::make_unique<PlatDialog>();
    rec->dialog->proc = proc;
    PlatWindow* w = rec.get();
    HWND h = PlatQtRegister(std::move(rec));

    auto* dw = new DialogWidget(h, child ? parentRec->client : nullptr);
    dw->setProperty("platHwnd", QVariant::fromValue(reinterpret_cast<quintptr>(h)));
    w->widget = dw;
    const QFont font = DialogFont(tpl);
    dw->setFont(font);
    PlatQtBaseUnits(font, w->dialog->baseX, w->dialog->baseY);
    const int width = PlatQtUnitsX(*w->dialog, tpl->cx);
    const int height = PlatQtUnitsY(*w->dialog, tpl->cy);
    const int x = PlatQtUnitsX(*w->dialog, tpl->x);
    const int y = PlatQtUnitsY(*w->dialog, tpl->y);

    if (child) {
        w->client = dw;
        dw->setGeometry(x, y, width, height);
    } else {
        Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (tpl->style & WS_SYSMENU)
            flags |= Qt::WindowCloseButtonHint;
        if (tpl->style & WS_MINIMIZEBOX)
            flags |= Qt::WindowMinimizeButtonHint;
        dw->setWindowFlags(flags);
        dw->setWindowTitle(QString::fromUtf8(tpl->caption ? tpl->caption : ""));
        int menuHeight = 0;
        if (tpl->menuId)
            if (QMenuBar* bar = BuildMenu(h, tpl->menuId, dw)) {
                menuHeight = bar->sizeHint().height();
                bar->setGeometry(0, 0, width, menuHeight);
            }
        w->client = new QWidget(dw);
        w->client->setGeometry(0, menuHeight, width, height);
        dw->setFixedSize(width, height + menuHeight);
        QPoint at(x, y);
        if (tpl->style & DS_CENTER) {
            QRect screen(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
            at = QPoint((screen.width() - dw->width()) / 2, (screen.height() - dw->height()) / 2);
        } else if (parentRec) {
            at += parentRec->client->mapToGlobal(QPoint(0, 0));
        }
        dw->move(at);
    }

    for (const DlgItemTemplate& item : tpl->items)
        PlatQtCreateControl(w, item);

    const LRESULT focusDefault = PlatQtDispatch(h, WM_INITDIALOG, 0, param);
    w = PlatQtFind(h);
    if (!w) // destroyed while it was being set up
        return nullptr;
    if (!w->dialog->ended && (show || (tpl->style & WS_VISIBLE))) {
        w->widget->show();
        if (!child)
            w->widget->activateWindow();
    }
    if (focusDefault)
        FocusFirstTabStop(w);
    if (auto& hook = PlatQtTestHooks().dialogCreated)
        hook(h);
    return IsWindow(h) ? h : nullptr;
}

LRESULT PlatQtDialogMessage(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND h = w->handle;
    if (w->dialog->proc) {
        w->dialog->msgResult = 0;
        const INT_PTR r = w->dialog->proc(h, message, wParam, lParam);
        w = PlatQtFind(h);
        if (message == WM_INITDIALOG)
            return r;
        if (r)
            return w ? w->dialog->msgResult : 0;
        if (!w)
            return 0;
    }
    // What Windows does for a dialog procedure that returned FALSE.
    switch (message) {
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return PlatQtTextMessage(w, message, wParam, lParam);
    case WM_SETICON: {
        HICON& slot = wParam == ICON_BIG ? w->dialog->bigIcon : w->dialog->smallIcon;
        HICON old = slot;
        slot = reinterpret_cast<HICON>(lParam);
        HICON shown = w->dialog->bigIcon ? w->dialog->bigIcon : w->dialog->smallIcon;
        w->widget->setWindowIcon(shown ? reinterpret_cast<IconRecord*>(shown)->icon : QIcon());
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_CLOSE:
        // An unhandled close becomes the Cancel command.
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
        return 0;
    default:
        return 0;
    }
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam)
{
    PlatQtEnsureApp();
    const DlgTemplate* tpl = PlatQtFindDialogTemplate(templateName);
    if (!tpl) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if (!PlatQtOnUiThread()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (owner && !PlatQtFind(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    // The owner stays disabled while the dialog runs.
    QWidget* ownerWindow = owner ? PlatQtFind(owner)->widget->window() : nullptr;
    const HWND ownerTop = PlatQtHandleOf(ownerWindow);
    const bool ownerWasEnabled = ownerWindow && ownerWindow->isEnabled();
    if (ownerWasEnabled)
        ownerWindow->setEnabled(false);

    QEventLoop loop;
    INT_PTR result = -1;
    HWND h = nullptr;
    // A modal dialog is always a window of its own. An EndDialog during
    // WM_INITDIALOG ends it before it is shown, and the loop never runs.
    DlgTemplate copy = *tpl;
    copy.style &= ~static_cast<DWORD>(WS_CHILD);
    h = PlatQtCreateDialog(&copy, owner, proc, initParam, true);
    // Commands asked for on the command line go to the first window that
    // has no owner, the main window, once its loop runs.
    if (owner == nullptr && PlatQtFind(h)) {
        for (unsigned command : PlatTakeStartCommands())
            PostMessageA(h, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        // Warnings of the start show over that window once it runs.
        for (const std::string& warning : PlatTakeStartWarnings())
            QTimer::singleShot(0, [h, warning] {
                if (PlatQtFind(h))
                    MessageBoxA(h, warning.c_str(), "Error", MB_OK | MB_ICONWARNING);
            });
    }
    if (PlatWindow* w = PlatQtFind(h)) {
        w->dialog->loop = &loop;
        while ((w = PlatQtFind(h)) && !w->dialog->ended)
            if (loop.exec() == -1) // the application is quitting: the loop cannot run
                break;
        if (w) {
            w->dialog->loop = nullptr;
            result = w->dialog->result;
        } else {
            result = 0;
        }
        PlatQtDestroy(h);
    }
    if (ownerWasEnabled && PlatQtFind(ownerTop))
        ownerWindow->setEnabled(true);
    return result;
}

HWND CreateDialogParamA(HINSTANCE, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam)
{
    PlatQtEnsureApp();
    const DlgTemplate* tpl = PlatQtFindDialogTemplate(templateName);
    if (!tpl) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return PlatQtCreateDialog(tpl, parent, proc, initParam, false);
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    PlatWindow* w = PlatQtFind(dialog);
    if (!w || w->kind != PlatKind::Dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->dialog->ended = true;
    w->dialog->result = result;
    w->widget->hide();
    if (w->dialog->loop)
        w->dialog->loop->exit();
    if (auto& hook = PlatQtTestHooks().dialogEnded)
        hook(dialog, result);
    return TRUE;
}

BOOL DestroyWindow(HWND window)
{
    if (!PlatQtFind(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return PlatQtDestroy(window);
}

BOOL PlatQtDestroy(HWND window)
{
    PlatWindow* w = PlatQtFind(window);
    if (!w)
        return FALSE;
    if (w->kind == PlatKind::Dialog) {
        // Owned dialogs and pages go first, as on Windows.
        for (HWND d : PlatQtOwnedDialogs(window))
            PlatQtDestroy(d);
        w = PlatQtFind(window);
        if (!w)
            return TRUE;
        if (w->dialog->loop)
            w->dialog->loop->exit();
        PlatQtDispatch(window, WM_DESTROY, 0, 0);
        w = PlatQtFind(window);
        if (!w)
            return TRUE;
    }
    for (HWND c : PlatQtChildren(window))
        PlatQtDestroy(c);
    std::unique_ptr<PlatWindow> rec = PlatQtUnregister(window);
    if (rec && rec->widget) {
        rec->widget->hide();
        rec->widget->setProperty("platHwnd", QVariant());
        // Later: the widget may be inside one of its own event handlers now.
        rec->widget->deleteLater();
    }
    return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR name)
{
    PlatQtEnsureApp();
    if (!name || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
    auto it = gIcons.find(id);
    if (it == gIcons.end()) {
        QPixmap pm = PlatQtImage(ResImageKind::Icon, id);
        if (pm.isNull()) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        auto rec = std::make_unique<IconRecord>();
        rec->icon = QIcon(pm);
        it = gIcons.emplace(id, std::move(rec)).first;
    }
    return reinterpret_cast<HICON>(it->second.get());
}

LONG GetDialogBaseUnits()
{
    PlatQtEnsureApp();
    int x = 8, y = 16;
    PlatQtBaseUnits(QApplication::font(), x, y);
    return MAKELONG(x, y);
}

