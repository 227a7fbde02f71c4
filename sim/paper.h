// The virtual printer's paper: where printed glyphs, bit images, cuts and
// margin notes land, and their rendering to dots and to a PNG picture.
// Layout happens as commands arrive; glyphs are drawn only when rendering,
// so decoding never needs a font.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

namespace sim {

struct GlyphStyle {
    int width = 12;  // cell in dots, before doubling
    int height = 24;
    bool doubleWidth = false;
    bool doubleHeight = false;
    bool underline = false;
    bool bold = false;
};

class Paper {
public:
    // The paper keeps its last this many rows (7 m at 0.352 mm a row), so
    // that a long stream can neither make a picture too big to hold nor
    // fill memory; what scrolled off is still in the transcript.
    static constexpr int kMaxRows = 20000;
    // Notes kept, the last ones.
    static constexpr size_t kMaxNotes = 10000;

    explicit Paper(int widthDots = 384);

    int width() const { return width_; }
    // Rows used so far (at most kMaxRows), the line being built not included.
    int height() const;
    int cursorY() const { return y_; }

    // Line buffer.
    // An empty `utf8` is a code that could not be decoded: a box.
    void addGlyph(const std::string& utf8, const GlyphStyle& style, int rightSpacing);
    // Bit image columns: `dotsHigh` is 8 or 24; each column is dotsHigh/8
    // bytes, the most significant bit at the top.
    void addImage(const std::vector<uint8_t>& columns, int dotsHigh);
    // A raster image (GS v 0) printed on its own: `rows` rows of `bytesWide`
    // bytes, the most significant bit at the left, each dot drawn
    // scaleX x scaleY; the paper moves on by its height. A line not yet
    // printed is printed first. Dots beyond the right edge are lost.
    void addRaster(std::span<const uint8_t> data, int bytesWide, int rows, int scaleX, int scaleY);
    void tab(int stopDots);
    void clearLine();
    bool lineEmpty() const { return pending_.empty(); }

    // Paper motion units (0.176 mm) per dot row (0.352 mm, the 8-pin head's
    // pitch): an 8-dot band is 16 units tall, so ESC J 16 after it leaves
    // no gap.
    static constexpr int kUnitsPerRow = 2;

    // Prints the line buffer, then feeds `units` motion units; when
    // `lineFeed`, the feed is at least the height of the line.
    void printLine(int units, bool lineFeed);
    void feed(int dots);
    void cut(bool full);
    void note(const std::string& text);

    // Renders to dots (rows of width(), true = black).
    std::vector<std::vector<bool>> dots() const;
    bool writePng(const std::string& path, std::string* error) const;

    struct Item {
        enum Kind { Glyph, Image, CutLine } kind = Glyph;
        int x = 0, y = 0, w = 0, h = 0;
        std::string text;          // Glyph
        GlyphStyle style;          // Glyph
        std::vector<uint8_t> bits; // Image: w*h, 1 = black
        bool full = true;          // CutLine
    };
    struct Note {
        int y = 0;
        std::string text;
    };
    // In the order printed, so from the top down.
    const std::deque<Item>& items() const { return items_; }
    const std::deque<Note>& notes() const { return notes_; }

private:
    void wrapIfNeeded(int w);
    void scrollIfNeeded();
    int top() const;

    int width_;
    int y_ = 0;
    int halfRow_ = 0; // motion units fed short of a whole row
    int x_ = 0;
    int bottom_ = 0;
    std::vector<Item> pending_;
    std::deque<Item> items_;
    std::deque<Note> notes_;
};

} // namespace sim
