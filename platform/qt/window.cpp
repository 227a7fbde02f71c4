// Window functions common to dialogs and controls: finding controls, text,
// check state, enabling, showing, geometry and the per-window longs.
// Called from another thread, each runs on the user-interface thread as on
// Windows, where such calls turn into sent messages.
#include "platform/qt/qtwin.h"

#include <QApplication>
#include <QMenuBar>
#include <QWidget>

namespace {

// Runs f on the user-interface thread; `fail` and ERROR_INVALID_WINDOW_HANDLE
// when the window does not exist.
template <typename R, typename F> R OnUi(HWND window, R fail, F&& f)
{
    R result = fail;
    bool found = false;
    PlatQtOnUi(window, [&] {
        if (PlatWindow* w = PlatQtFind(window)) {
            found = true;
            result = f(w);
        }
    });
    if (!found)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return result;
}

void Resize(PlatWindow* w, int width, int height)
{
    if (w->kind == PlatKind::StatusBar) {
        PlatQtPlaceStatusBar(w); // a status bar places itself
        return;
    }
    if (w->kind == PlatKind::Dialog && !(w->style & WS_CHILD)) {
        // Windows sizes count the frame; the client area (below the menu
        // bar) gets what is left.
        const int frameW = w->widget->frameGeometry().width() - w->widget->width();
        const int frameH = w->widget->frameGeometry().height() - w->widget->height();
        const int ww = std::max(0, width - frameW);
        const int wh = std::max(0, height - frameH);
        const int menu = w->client->y();
        w->widget->setFixedSize(ww, wh);
        w->client->setGeometry(0, menu, ww, std::max(0, wh - menu));
        if (auto* bar = w->widget->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly))
            bar->resize(ww, menu);
        return;
    }
    w->widget->resize(std::max(0, width), std::max(0, height));
}

void Move(PlatWindow* w, int x, int y)
{
    if (w->kind == PlatKind::StatusBar)
        return;
    w->widget->move(x, y); // a top-level widget moves by its frame, as a window does
}

} // namespace

HWND GetDlgItem(HWND dialog, int id)
{
    return OnUi<HWND>(dialog, nullptr, [&](PlatWindow*) -> HWND {
        for (HWND c : PlatQtChildren(dialog))
            if (PlatWindow* w = PlatQtFind(c); w && w->id == id)
                return c;
        return nullptr;
    });
}

int GetDlgCtrlID(HWND control)
{
    return OnUi<int>(control, 0, [](PlatWindow* w) { return w->id; });
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount)
{
    if (!text || maxCount <= 0)
        return 0;
    text[0] = '\0';
    return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

BOOL SetWindowTextA(HWND window, LPCSTR text)
{
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount)
{
    if (text && maxCount > 0)
        text[0] = '\0';
    HWND item = GetDlgItem(dialog, id);
    return item ? static_cast<UINT>(GetWindowTextA(item, text, maxCount)) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? SetWindowTextA(item, text) : FALSE;
}

// TRUE whether or not the button is there, as Windows' answers: it only
// sends BM_SETCHECK.
BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    if (HWND item = GetDlgItem(dialog, id))
        SendMessageA(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? static_cast<UINT>(SendMessageA(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    // Nonzero when the window was disabled before.
    return OnUi<BOOL>(window, FALSE, [&](PlatWindow* w) {
        const bool wasDisabled = w->widget->testAttribute(Qt::WA_ForceDisabled);
        w->widget->setEnabled(enable != FALSE);
        return wasDisabled ? TRUE : FALSE;
    });
}

BOOL IsWindowEnabled(HWND window)
{
    // The window's own state; a disabled parent does not count, as on Windows.
    return OnUi<BOOL>(window, FALSE, [](PlatWindow* w) { return w->widget->testAttribute(Qt::WA_ForceDisabled) ? FALSE : TRUE; });
}

BOOL ShowWindow(HWND window, int cmdShow)
{
    return OnUi<BOOL>(window, FALSE, [&](PlatWindow* w) {
        const bool wasVisible = !w->widget->isHidden();
        w->widget->setVisible(cmdShow != SW_HIDE);
        return wasVisible ? TRUE : FALSE;
    });
}

BOOL IsWindowVisible(HWND window)
{
    return OnUi<BOOL>(window, FALSE, [](PlatWindow* w) { return w->widget->isVisible() ? TRUE : FALSE; });
}

HWND GetParent(HWND window)
{
    return OnUi<HWND>(window, nullptr, [](PlatWindow* w) { return w->parent; });
}

HWND GetAncestor(HWND window, UINT)
{
    return OnUi<HWND>(window, nullptr, [](PlatWindow* w) { return PlatQtHandleOf(w->widget->window()); });
}


BOOL GetClientRect(HWND window, LPRECT rect)
{
    if (!rect)
        return FALSE;
    return OnUi<BOOL>(window, FALSE, [&](PlatWindow* w) {
        QWidget* area = w->kind == PlatKind::Dialog ? w->client : w->widget;
        *rect = RECT{0, 0, area->width(), area->height()};
        return TRUE;
    });
}

BOOL GetWindowRect(HWND window, LPRECT rect)
{
    if (!rect)
        return FALSE;
    return OnUi<BOOL>(window, FALSE, [&](PlatWindow* w) {
        QRect r;
        if (w->widget->isWindow())
            r = w->widget->frameGeometry();
        else
            r = QRect(w->widget->mapToGlobal(QPoint(0, 0)), w->widget->size());
        *rect = RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
        return TRUE;
    });
}

BOOL ScreenToClient(HWND window, LPPOINT point)
{
    if (!point)
        return FALSE;
    return OnUi<BOOL>(window, FALSE, [&](PlatWindow* w) {
        const QWidget* area = w->client != nullptr ? w->client : w->widget;
        const QPoint at = area->mapFromGlobal(QPoint(point->x, point->y));
        *point = POINT{at.x(), at.y()};
        return TRUE;
    });
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL)
{
    return OnUi<BOOL>(window, FALSE, [&](PlatWindow* w) {
        Move(w, x, y);
        Resize(w, width, height);
        return TRUE;
    });
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    return OnUi<BOOL>(window, FALSE, [&](PlatWindow* w) {
        if (!(flags & SWP_NOMOVE))
            Move(w, x, y);
        if (!(flags & SWP_NOSIZE))
            Resize(w, cx, cy);
        if (!(flags & SWP_NOZORDER) && insertAfter == HWND_TOP)
            w->widget->raise();
        return TRUE;
    });
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    return OnUi<LONG_PTR>(window, 0, [&](PlatWindow* w) -> LONG_PTR {
        LONG_PTR old = 0;
        if (index == GWLP_USERDATA) {
            old = w->userData;
            w->userData = value;
        } else if (index == DWLP_MSGRESULT && w->dialog) {
            old = w->dialog->msgResult;
            w->dialog->msgResult = value;
        } else if (index == GWLP_WNDPROC && !w->dialog) {
            old = reinterpret_cast<LONG_PTR>(w->subclass ? w->subclass : PlatQtControlProc);
            const auto proc = reinterpret_cast<WNDPROC>(value);
            w->subclass = proc == PlatQtControlProc ? nullptr : proc;
        } else {
            SetLastError(ERROR_INVALID_PARAMETER);
        }
        return old;
    });
}

namespace {
thread_local bool tKeyPassedOn = false;
} // namespace

LRESULT CALLBACK PlatQtControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN) {
        tKeyPassedOn = true;
        return 0;
    }
    return SendMessageA(window, message, wParam, lParam);
}

bool PlatQtOfferKey(PlatWindow* w, WPARAM vk)
{
    if (w->subclass == nullptr)
        return true;
    tKeyPassedOn = false;
    w->subclass(w->handle, WM_KEYDOWN, vk, 0);
    return tKeyPassedOn;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value)
{
    return SetWindowLongPtrA(window, index, value);
}

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(proc, window, message, wParam, lParam);
}

LONG_PTR GetWindowLongPtrA(HWND window, int index)
{
    return OnUi<LONG_PTR>(window, 0, [&](PlatWindow* w) -> LONG_PTR {
        if (index == GWLP_USERDATA)
            return w->userData;
        if (index == GWLP_WNDPROC && !w->dialog)
            return reinterpret_cast<LONG_PTR>(w->subclass ? w->subclass : PlatQtControlProc);
        if (index == DWLP_MSGRESULT && w->dialog)
            return w->dialog->msgResult;
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    });
}
