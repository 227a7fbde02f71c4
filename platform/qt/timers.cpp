// Window timers on Qt: a QTimer owned by the window's widget, so that it
// ends with the window, delivering WM_TIMER as the message loop would.
#include "platform/qt/qtwin.h"

#include <QTimer>
#include <QWidget>
#include <QVariant>

namespace {

QTimer* Find(QWidget* widget, UINT_PTR id)
{
    for (QTimer* timer : widget->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        if (timer->property("platTimerId").toULongLong() == id)
            return timer;
    return nullptr;
}

} // namespace

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    PlatWindow* w = PlatQtFind(window);
    if (w == nullptr || proc != nullptr || id == 0)
        return 0;
    QTimer* timer = Find(w->widget, id);
    if (timer == nullptr) {
        timer = new QTimer(w->widget);
        timer->setProperty("platTimerId", QVariant::fromValue<qulonglong>(id));
        QObject::connect(timer, &QTimer::timeout, [window, id] { PlatQtDispatch(window, WM_TIMER, id, 0); });
    }
    timer->start(static_cast<int>(elapse));
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    PlatWindow* w = PlatQtFind(window);
    QTimer* timer = w != nullptr ? Find(w->widget, id) : nullptr;
    if (timer == nullptr)
        return FALSE;
    timer->stop();
    timer->deleteLater();
    timer->setProperty("platTimerId", QVariant::fromValue<qulonglong>(0));
    return TRUE;
}
