// The tab control ("SysTabControl32") on Qt Widgets: a strip of tabs over a
// framed display area. Pages are the dialog's own child windows laid over
// it, as on Windows; the control only tells its dialog about a change of
// tab with WM_NOTIFY TCN_SELCHANGING and TCN_SELCHANGE. The program's
// dialogs never refuse a change, so the answer to TCN_SELCHANGING is not
// asked for.
#include "platform/qt/qtwin.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace {

constexpr int kFrame = 2; // pixels of frame around the display area

// Tells the dialog that the user is about to change the tab.
void Notify(HWND tab, UINT code)
{
    PlatWindow* w = PlatQtFind(tab);
    if (!w || w->quiet)
        return;
    NMHDR hdr{tab, static_cast<UINT_PTR>(w->id), code};
    PlatQtDispatch(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&hdr));
}

class TabStrip : public QTabBar {
public:
    TabStrip(HWND h, QWidget* parent) : QTabBar(parent), hwnd(h) {}
    HWND hwnd;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        const int at = tabAt(e->position().toPoint());
        if (e->button() == Qt::LeftButton && at >= 0 && at != currentIndex())
            Notify(hwnd, TCN_SELCHANGING);
        QTabBar::mousePressEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        const bool moves = e->key() == Qt::Key_Left || e->key() == Qt::Key_Right;
        if (moves && count() > 1)
            Notify(hwnd, TCN_SELCHANGING);
        QTabBar::keyPressEvent(e);
    }
};

// The whole control: the strip on top, a frame around the display area.
class TabControl : public QWidget {
public:
    TabControl(HWND h, QWidget* parent) : QWidget(parent), strip(new TabStrip(h, this))
    {
        strip->setDrawBase(false);
        strip->setExpanding(false);
    }
    TabStrip* strip;
    int StripHeight() const { return strip->sizeHint().height() > 0 ? strip->sizeHint().height() : fontMetrics().height() + 8; }

protected:
    void resizeEvent(QResizeEvent*) override { strip->setGeometry(0, 0, width(), StripHeight()); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QStyleOptionTabWidgetFrame opt;
        opt.initFrom(this);
        opt.rect = rect().adjusted(0, StripHeight() - 1, 0, 0);
        style()->drawPrimitive(QStyle::PE_FrameTabWidget, &opt, &p, this);
    }
};

TabControl* Control(PlatWindow* w)
{
    return static_cast<TabControl*>(w->widget);
}

QWidget* Create(PlatWindow* w, const DlgItemTemplate&, QWidget* parent)
{
    w->kind = PlatKind::Tab;
    const HWND h = w->handle;
    auto* control = new TabControl(h, parent);
    QObject::connect(control->strip, &QTabBar::currentChanged, [h](int) { Notify(h, TCN_SELCHANGE); });
    return control;
}

std::string Text(PlatWindow*)
{
    return {};
}

void SetText(PlatWindow*, const char*) {}

LRESULT Message(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    TabControl* control = Control(w);
    QTabBar* strip = control->strip;
    switch (message) {
    case TCM_INSERTITEMA: {
        const auto* item = reinterpret_cast<const TCITEMA*>(lParam);
        if (!item)
            return -1;
        const QString text = (item->mask & TCIF_TEXT) && item->pszText ? QString::fromUtf8(item->pszText) : QString();
        const int index = std::clamp(static_cast<int>(wParam), 0, strip->count());
        w->quiet = true; // the first tab becomes the selection without a notification
        const int at = strip->insertTab(index, text);
        w->quiet = false;
        return at;
    }
    case TCM_GETCURSEL:
        return strip->currentIndex();
    case TCM_ADJUSTRECT: {
        // TRUE: display area to window rectangle; FALSE: the other way round.
        auto* r = reinterpret_cast<RECT*>(lParam);
        if (!r)
            return 0;
        const int top = control->StripHeight() + kFrame;
        const int sign = wParam ? 1 : -1;
        r->left -= sign * kFrame;
        r->right += sign * kFrame;
        r->top -= sign * top;
        r->bottom += sign * kFrame;
        return 0;
    }
    default:
        return PlatQtTextMessage(w, message, wParam, lParam);
    }
}

} // namespace

const PlatQtFamily kPlatQtTabs{Create, nullptr, Text, SetText, Message};

QTabBar* PlatQtTabBar(PlatWindow* w)
{
    return w && w->kind == PlatKind::Tab ? Control(w)->strip : nullptr;
}
