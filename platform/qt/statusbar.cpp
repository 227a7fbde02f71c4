// Status bars ("msctls_statusbar32", CreateStatusWindowA) on Qt Widgets:
// along the bottom of their dialog, in parts with right edges (SB_SETPARTS),
// each with a text. A text is stored at once (SB_GETTEXT sees it) and drawn
// within a frame, so reports that come per block cost no paint each.
#include "platform/qt/qtwin.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxParts = 256;

// The bar keeps its parts' right edges (-1: to the end) and their texts.
class StatusBar : public QWidget {
public:
    StatusBar(HWND h, QWidget* parent) : QWidget(parent), hwnd(h) { parent->installEventFilter(this); }
    HWND hwnd;
    std::vector<int> parts{-1};
    std::vector<std::string> texts{std::string()};

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == parentWidget() && e->type() == QEvent::Resize)
            if (PlatWindow* w = PlatQtFind(hwnd))
                PlatQtPlaceStatusBar(w);
        return false;
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        int left = 0;
        for (size_t i = 0; i < parts.size(); ++i) {
            const int right = parts[i] < 0 ? width() : std::min(parts[i], width());
            if (right <= left)
                continue;
            QRect r(left, 1, right - left - 2, height() - 2);
            p.setPen(palette().color(QPalette::Mid));
            p.drawRect(r.adjusted(0, 0, -1, -1));
            p.setPen(palette().color(QPalette::WindowText));
            const QString text = QString::fromUtf8(texts[i].data(), static_cast<int>(texts[i].size()));
            p.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                       fontMetrics().elidedText(text, Qt::ElideRight, r.width() - 6));
            left = right;
        }
    }
};

StatusBar* Bar(PlatWindow* w)
{
    return static_cast<StatusBar*>(w->widget);
}

QWidget* Create(PlatWindow* w, const DlgItemTemplate& item, QWidget* parent)
{
    w->kind = PlatKind::StatusBar;
    auto* bar = new StatusBar(w->handle, parent);
    bar->texts[0] = item.text ? item.text : "";
    return bar;
}

// Wherever the template put it, a status bar sits along the bottom.
void Placed(PlatWindow* w)
{
    PlatQtPlaceStatusBar(w);
}

std::string Text(PlatWindow* w)
{
    return Bar(w)->texts[0];
}

bool SetPartText(PlatWindow* w, size_t part, const char* text)
{
    StatusBar* bar = Bar(w);
    if (part >= bar->texts.size())
        return false;
    bar->texts[part].assign(text ? text : ""); // keeps its buffer once grown
    PlatQtShowSoon(w);
    return true;
}

void SetText(PlatWindow* w, const char* text)
{
    SetPartText(w, 0, text);
}

LRESULT Message(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    StatusBar* bar = Bar(w);
    switch (message) {
    case WM_SETTEXT: // part 0, stored at once like SB_SETTEXT
        SetPartText(w, 0, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case SB_SETPARTS: {
        const int n = static_cast<int>(wParam);
        const int* edges = reinterpret_cast<const int*>(lParam);
        if (n < 1 || n > kMaxParts || !edges)
            return FALSE;
        bar->parts.assign(edges, edges + n);
        bar->texts.resize(static_cast<size_t>(n));
        PlatQtShowSoon(w);
        return TRUE;
    }
    case SB_GETPARTS: {
        int* edges = reinterpret_cast<int*>(lParam);
        const size_t n = std::min(static_cast<size_t>(wParam), bar->parts.size());
        if (edges)
            std::copy_n(bar->parts.begin(), n, edges);
        return static_cast<LRESULT>(bar->parts.size());
    }
    case SB_SETTEXTA:
        return SetPartText(w, LOBYTE(wParam), reinterpret_cast<const char*>(lParam)) ? TRUE : FALSE;
    case SB_GETTEXTA:
    case SB_GETTEXTLENGTHA: {
        const size_t part = LOBYTE(wParam);
        if (part >= bar->texts.size())
            return 0;
        const std::string& s = bar->texts[part];
        if (message == SB_GETTEXTA && lParam)
            std::memcpy(reinterpret_cast<char*>(lParam), s.c_str(), s.size() + 1);
        return MAKELONG(static_cast<WORD>(s.size()), 0);
    }
    case WM_SIZE:
        PlatQtPlaceStatusBar(w);
        return 0;
    default:
        return PlatQtTextMessage(w, message, wParam, lParam);
    }
}

} // namespace

const PlatQtFamily kPlatQtStatusBars{Create, Placed, Text, SetText, Message};

void PlatQtPlaceStatusBar(PlatWindow* bar)
{
    QWidget* parent = bar->widget->parentWidget();
    if (!parent)
        return;
    const int h = bar->widget->fontMetrics().height() + 8;
    bar->widget->setGeometry(0, parent->height() - h, parent->width(), h);
}

HWND CreateStatusWindowA(LONG style, LPCSTR text, HWND parent, UINT id)
{
    PlatQtEnsureApp();
    PlatWindow* p = PlatQtFind(parent);
    if (!p || !p->client || !p->dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const DlgItemTemplate item{static_cast<int>(id), "msctls_statusbar32", static_cast<DWORD>(style), text, 0, 0, 0, 0};
    return PlatQtCreateControl(p, item);
}
