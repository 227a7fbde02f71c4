// The virtual printer's paper: layout of lines and their rendering with
// QPainter (glyphs from the CJK font, bit images dot for dot).
#include "sim/paper.h"

#include "platform/qt/quiet.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace sim {

namespace {

constexpr int kMarginWidth = 240; // notes to the right of the paper in paper.png
constexpr int kTopMargin = 8;
const char* const kFontFile = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";

// Fonts need a QGuiApplication. When the host has none (the program
// mptest-printer, tests), one is made here on the offscreen platform.
std::once_flag gGuiOnce;
QString gFamily;
bool gFonts = false; // false under a host that made a plain QCoreApplication

void ensureGui()
{
    std::call_once(gGuiOnce, [] {
        if (QCoreApplication::instance() && !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return; // fonts cannot be had here; glyphs are drawn as boxes
        if (!QCoreApplication::instance()) {
            if (!std::getenv("QT_QPA_PLATFORM"))
                setenv("QT_QPA_PLATFORM", "offscreen", 0);
            static int argc = 1;
            PlatQtQuietChatter();
            static char name[] = "mptest-printer";
            static char* argv[] = {name, nullptr};
            new QGuiApplication(argc, argv); // lives for the process
        }
        int id = QFontDatabase::addApplicationFont(QString::fromUtf8(kFontFile));
        if (id >= 0) {
            QStringList fams = QFontDatabase::applicationFontFamilies(id);
            if (!fams.isEmpty())
                gFamily = fams.front();
        }
        if (gFamily.isEmpty())
            gFamily = QStringLiteral("WenQuanYi Zen Hei");
        gFonts = true;
    });
}

int scaledW(const GlyphStyle& s) { return s.width * (s.doubleWidth ? 2 : 1); }
int scaledH(const GlyphStyle& s) { return s.height * (s.doubleHeight ? 2 : 1); }

void drawItems(QPainter& p, const std::deque<Paper::Item>& items, int yOffset, int paperWidth)
{
    for (const Paper::Item& it : items) {
        const int y = it.y + yOffset;
        switch (it.kind) {
        case Paper::Item::Image:
            for (int r = 0; r < it.h; ++r)
                for (int c = 0; c < it.w; ++c)
                    if (it.bits[size_t(r) * it.w + c])
                        p.fillRect(it.x + c, y + r, 1, 1, Qt::black);
            break;
        case Paper::Item::Glyph: {
            const GlyphStyle& s = it.style;
            if (!gFonts) {
                p.setPen(Qt::black);
                p.drawRect(it.x + 1, y + 1, it.w - 3, it.h - 3);
                break;
            }
            QFont f(gFamily);
            f.setPixelSize(s.height - s.height / 8);
            f.setBold(s.bold);
            f.setStyleStrategy(QFont::NoAntialias);
            const QString text = QString::fromUtf8(it.text.c_str());
            // A character the font does not have, or one the printer could
            // not decode (no text), prints as a box the size of its cell.
            const QList<uint> codes = text.toUcs4();
            if (codes.isEmpty() || !QFontMetrics(f).inFontUcs4(codes.front())) {
                p.setPen(Qt::black);
                p.drawRect(it.x + 1, y + 1, it.w - 3, it.h - 3);
                if (s.underline)
                    p.fillRect(it.x, y + it.h - 2, it.w, 2, Qt::black);
                break;
            }
            // A glyph wider than its cell (M, W in a 12-dot cell) is
            // narrowed to fit, as a printer's fixed-pitch font draws it.
            const int advance = QFontMetrics(f).horizontalAdvance(text);
            const double fit = advance > s.width ? double(s.width) / advance : 1.0;
            p.save();
            p.translate(it.x, y);
            p.scale((s.doubleWidth ? 2.0 : 1.0) * fit, s.doubleHeight ? 2.0 : 1.0);
            p.setFont(f);
            p.setPen(Qt::black);
            p.drawText(QRectF(0, 0, s.width / fit, s.height), Qt::AlignCenter, text);
            p.restore();
            if (s.underline)
                p.fillRect(it.x, y + it.h - 2, it.w, 2, Qt::black);
            break;
        }
        case Paper::Item::CutLine: {
            const int dash = it.full ? 8 : 3;
            for (int x = 0; x < paperWidth; x += dash * 2)
                p.fillRect(x, y, std::min(dash, paperWidth - x), 1, Qt::black);
            break;
        }
        }
    }
}

} // namespace

Paper::Paper(int widthDots) : width_(widthDots > 0 ? widthDots : 384) {}

int Paper::height() const { return std::min(kMaxRows, std::max(bottom_, y_)); }

// Drops what has gone above the last kMaxRows rows. Items and notes come in
// the order printed, so those are at the front; the rows keep their numbers,
// which are moved back only when they grow large.
void Paper::scrollIfNeeded()
{
    const int top = this->top();
    while (!items_.empty() && items_.front().y + items_.front().h <= top)
        items_.pop_front();
    while (!notes_.empty() && notes_.front().y < top)
        notes_.pop_front();
    if (top < (1 << 30))
        return;
    for (Item& it : items_)
        it.y -= top;
    for (Note& n : notes_)
        n.y -= top;
    y_ -= top;
    bottom_ = std::max(0, bottom_ - top);
}

// The first row drawn: the paper shows its last kMaxRows rows.
int Paper::top() const { return std::max(0, std::max(bottom_, y_) - kMaxRows); }

void Paper::wrapIfNeeded(int w)
{
    if (x_ + w > width_ && !pending_.empty())
        printLine(0, true);
}

void Paper::addGlyph(const std::string& utf8, const GlyphStyle& style, int rightSpacing)
{
    const int w = scaledW(style);
    wrapIfNeeded(w);
    if (x_ + w > width_)
        return; // wider than the paper: nothing fits
    Item it;
    it.kind = Item::Glyph;
    it.x = x_;
    it.w = w;
    it.h = scaledH(style);
    it.text = utf8;
    it.style = style;
    pending_.push_back(std::move(it));
    x_ += w + rightSpacing * (style.doubleWidth ? 2 : 1);
}

void Paper::addImage(const std::vector<uint8_t>& columns, int dotsHigh)
{
    const int bytesPerColumn = dotsHigh / 8;
    if (bytesPerColumn <= 0)
        return;
    int cols = int(columns.size()) / bytesPerColumn;
    // Columns beyond the right edge are lost, as on the real mechanism.
    cols = std::min(cols, width_ - x_);
    if (cols <= 0)
        return;
    Item it;
    it.kind = Item::Image;
    it.x = x_;
    it.w = cols;
    it.h = dotsHigh;
    it.bits.assign(size_t(cols) * dotsHigh, 0);
    for (int c = 0; c < cols; ++c)
        for (int b = 0; b < bytesPerColumn; ++b) {
            const uint8_t v = columns[size_t(c) * bytesPerColumn + b];
            for (int bit = 0; bit < 8; ++bit)
                if (v & (0x80 >> bit))
                    it.bits[size_t(b * 8 + bit) * cols + c] = 1;
        }
    pending_.push_back(std::move(it));
    x_ += cols;
}

void Paper::addRaster(std::span<const uint8_t> data, int bytesWide, int rows, int scaleX, int scaleY)
{
    if (!pending_.empty())
        printLine(0, true);
    const int w = std::min(bytesWide * 8 * scaleX, width_);
    const int h = std::min(rows * scaleY, kMaxRows); // the paper shows no more
    if (w <= 0 || h <= 0 || data.size() < size_t(bytesWide) * size_t(rows))
        return;
    Item it;
    it.kind = Item::Image;
    it.w = w;
    it.h = h;
    it.bits.assign(size_t(w) * h, 0);
    for (int r = 0; r < h; ++r) {
        const uint8_t* row = data.data() + size_t(r / scaleY) * size_t(bytesWide);
        for (int c = 0; c < w; ++c) {
            const int dot = c / scaleX;
            if (row[dot / 8] & (0x80 >> (dot % 8)))
                it.bits[size_t(r) * w + c] = 1;
        }
    }
    pending_.push_back(std::move(it));
    printLine(0, false);
    feed(h); // the raster moves the paper by its own rows
}

void Paper::tab(int stopDots)
{
    if (stopDots <= 0)
        return;
    const int next = (x_ / stopDots + 1) * stopDots;
    if (next < width_)
        x_ = next;
}

void Paper::clearLine()
{
    pending_.clear();
    x_ = 0;
}

void Paper::printLine(int units, bool lineFeed)
{
    int lineH = 0;
    for (const Item& it : pending_)
        lineH = std::max(lineH, it.h);
    for (Item& it : pending_) {
        it.y = y_ + (lineH - it.h); // items stand on the line's base
        items_.push_back(std::move(it));
    }
    bottom_ = std::max(bottom_, y_ + lineH);
    pending_.clear();
    x_ = 0;
    // A feed of an odd number of units (ESC J 1 between a band's two
    // passes) leaves half a row that the next feed completes.
    const int moved = std::max(units, 0) + halfRow_;
    halfRow_ = moved % kUnitsPerRow;
    const int rows = moved / kUnitsPerRow;
    if (lineFeed && lineH > rows) {
        halfRow_ = 0; // the line's height, not the spacing, moved the paper
        feed(lineH);
    } else {
        feed(rows);
    }
}

void Paper::feed(int dots)
{
    if (dots > 0)
        y_ += dots;
    scrollIfNeeded();
}

void Paper::cut(bool full)
{
    if (!pending_.empty())
        printLine(0, false);
    Item it;
    it.kind = Item::CutLine;
    it.y = y_;
    it.w = width_;
    it.h = 1;
    it.full = full;
    items_.push_back(std::move(it));
    bottom_ = std::max(bottom_, it.y + 1);
    feed(4);
}

void Paper::note(const std::string& text)
{
    if (notes_.size() >= kMaxNotes)
        notes_.pop_front();
    notes_.push_back({y_, text});
}

std::vector<std::vector<bool>> Paper::dots() const
{
    ensureGui();
    const int h = std::max(1, height());
    QImage img(width_, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        drawItems(p, items_, -top(), width_);
    }
    std::vector<std::vector<bool>> rows(size_t(h), std::vector<bool>(size_t(width_), false));
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < width_; ++x)
            rows[size_t(y)][size_t(x)] = qGray(line[x]) < 128;
    }
    return rows;
}

bool Paper::writePng(const std::string& path, std::string* error) const
{
    ensureGui();
    // Notes stack down the margin so as not to overlap; the picture is tall
    // enough for the last of them (a drawer kicked after the last line).
    std::vector<std::pair<int, const Note*>> placed;
    int lastY = -100;
    for (const Note& n : notes_) {
        if (n.y < top())
            continue;
        lastY = std::max(n.y - top() + kTopMargin, lastY + 14);
        placed.emplace_back(lastY, &n);
    }
    const int h = std::max({64, height() + 2 * kTopMargin, lastY + 14 + kTopMargin});
    // 8-bit grey: a tall paper is large, and painting text into a 16-bit
    // picture drew every line a second time further right.
    QImage img(width_ + kMarginWidth, h, QImage::Format_Grayscale8);
    img.fill(QColor(0xE8, 0xE8, 0xE8));
    {
        QPainter p(&img);
        p.fillRect(0, 0, width_, h, Qt::white);
        drawItems(p, items_, kTopMargin - top(), width_);
        QFont f(gFamily);
        f.setPixelSize(12);
        p.setFont(f);
        p.setPen(QColor(0x30, 0x30, 0xA0));
        for (const auto& [y, note] : placed)
            p.drawText(width_ + 6, y + 11, QString::fromUtf8(note->text.c_str()));
    }
    if (!img.save(QString::fromUtf8(path.c_str()), "PNG")) {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace sim
