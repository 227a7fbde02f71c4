// Status bars ("msctls_statusbar32", CreateStatusWindowA) on Qt Widgets:
// along the bottom of their dialog, in parts with right edges (SB_SETPARTS),
// each with a text. A text is stored at once (SB_GETTEXT sees it) and drawn
// within a frame, so reports that come per block cost no paint each.
#include "platform/qt/qtwin.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHash>
#include <QPaintEvent>
#include <QPainter>
#include <QStaticText>
#include <QWidget>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxParts = 256;

// The bar keeps its parts' right edges (-1: to the end), their texts, and
// each text laid out as drawn: a report that changes one part's count paints
// that part alone, over its own background.
class StatusBar : public QWidget {
public:
    StatusBar(HWND h, QWidget* parent) : QWidget(parent), hwnd(h)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        parent->installEventFilter(this);
    }
    HWND hwnd;
    std::vector<int> parts{-1};
    std::vector<std::string> texts{std::string()};

    // Where part `i` is drawn, its frame included; empty when it has no room.
    QRect PartRect(size_t i) const
    {
        int left = 0;
        for (size_t k = 0; k < i && k < parts.size(); ++k)
            left = std::max(left, Right(k));
        const int right = Right(i);
        return right > left ? QRect(left, 1, right - left - 2, height() - 2) : QRect();
    }
    void SetParts(const int* edges, int n)
    {
        parts.assign(edges, edges + n);
        texts.resize(static_cast<size_t>(n));
        laid.assign(static_cast<size_t>(n), Laid{});
    }
    // False when the part already shows `text`.
    bool SetText(size_t part, const char* text)
    {
        const char* t = text ? text : "";
        if (texts[part] == t)
            return false;
        texts[part].assign(t); // keeps its buffer once grown
        laid[part].width = -1;
        return true;
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == parentWidget() && e->type() == QEvent::Resize)
            if (PlatWindow* w = PlatQtFind(hwnd))
                PlatQtPlaceStatusBar(w);
        return false;
    }
    void changeEvent(QEvent* e) override
    {
        if (e->type() == QEvent::FontChange) { // every piece was laid out in the old font
            pieces_.clear();
            cuts_.clear();
            for (Laid& l : laid)
                l.width = -1;
        }
        QWidget::changeEvent(e);
    }
    void paintEvent(QPaintEvent* e) override
    {
        QPainter p(this);
        p.fillRect(e->rect(), palette().color(QPalette::Window));
        for (size_t i = 0; i < parts.size(); ++i) {
            const QRect r = PartRect(i);
            if (r.isEmpty() || !r.intersects(e->rect()))
                continue;
            p.setPen(palette().color(QPalette::Mid));
            p.drawRect(r.adjusted(0, 0, -1, -1));
            p.setPen(palette().color(QPalette::WindowText));
            const QRect inside = r.adjusted(3, 0, -3, 0);
            const int top = inside.top() + (inside.height() - fontMetrics().height()) / 2;
            for (const auto& [text, x] : LaidOut(i, inside.width()).pieces)
                p.drawStaticText(QPointF(inside.left() + x, top), text);
        }
    }

private:
    // A piece of text laid out once, and how far it moves the pen.
    struct Piece {
        QStaticText text;
        qreal advance = 0;
    };
    // A part's text as drawn: its pieces and where each starts.
    struct Laid {
        std::vector<std::pair<QStaticText, qreal>> pieces;
        int width = -1; // the room it was laid out for; -1: the text changed since
    };
    std::vector<Laid> laid{Laid{}};
    // A count changes every report while its words stay: each digit and
    // each run between digits is laid out once, so a new count costs no
    // text layout (which for Chinese words costs far more than the paint).
    QHash<QString, Piece> pieces_;
    QHash<QString, QString> cuts_; // a run cut to a width (run, NUL, width) and its "…"
    static constexpr qsizetype kMaxPieces = 512; // texts that never come back do not pile up

    int Right(size_t i) const { return parts[i] < 0 ? width() : std::min(parts[i], width()); }
    const Piece& PieceOf(const QString& run)
    {
        auto it = pieces_.constFind(run);
        if (it != pieces_.constEnd())
            return *it;
        if (pieces_.size() >= kMaxPieces)
            pieces_.clear();
        Piece piece;
        piece.text.setTextFormat(Qt::PlainText);
        piece.text.setText(run);
        piece.text.prepare(QTransform(), font());
        piece.advance = QFontMetricsF(font()).horizontalAdvance(run);
        return *pieces_.insert(run, piece);
    }
    // A text too long for its part ends in "…" where the room ends, as a
    // cut of the whole text would: whole pieces while they and the "…" fit,
    // then what fits of the next piece with its "…".
    void CutToRoom(Laid& l, qreal textWidth, int room)
    {
        const QString ellipsis(QChar(0x2026));
        const qreal keep = room - PieceOf(ellipsis).advance;
        size_t n = 0;
        for (; n < l.pieces.size(); ++n) {
            const qreal end = n + 1 < l.pieces.size() ? l.pieces[n + 1].second : textWidth;
            if (end > keep)
                break;
        }
        const qreal x = l.pieces[n].second;
        const QString run = l.pieces[n].first.text();
        l.pieces.resize(n);
        const int left = static_cast<int>(room - x);
        if (left <= 0)
            return;
        const QString key = run + QChar(0) + QString::number(left);
        auto it = cuts_.constFind(key);
        if (it == cuts_.constEnd()) {
            if (cuts_.size() >= kMaxPieces)
                cuts_.clear();
            it = cuts_.insert(key, run.size() > 1 ? fontMetrics().elidedText(run, Qt::ElideRight, left) : ellipsis);
        }
        if (!it->isEmpty())
            l.pieces.emplace_back(PieceOf(*it).text, x);
    }
    const Laid& LaidOut(size_t i, int room)
    {
        Laid& l = laid[i];
        if (l.width == room)
            return l;
        l.width = room;
        l.pieces.clear();
        const QString text = QString::fromUtf8(texts[i].data(), static_cast<int>(texts[i].size()));
        qreal x = 0;
        for (qsizetype at = 0; at < text.size();) {
            qsizetype end = at + 1;
            if (!text[at].isDigit())
                while (end < text.size() && !text[end].isDigit())
                    ++end;
            const Piece& piece = PieceOf(text.mid(at, end - at));
            l.pieces.emplace_back(piece.text, x);
            x += piece.advance;
            at = end;
        }
        if (x > room)
            CutToRoom(l, x, room);
        return l;
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
    if (bar->SetText(part, text))
        PlatQtShowSoon(w, bar->PartRect(part));
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
        bar->SetParts(edges, n);
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
