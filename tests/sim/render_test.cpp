// Tests of the virtual printer's paper: bit images dot for dot, glyph boxes,
// print modes, feeds, cuts and the PNG output.
#include "sim/printer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>


using sim::Printer;
using Bytes = std::vector<uint8_t>;
using Dots = std::vector<std::vector<bool>>;

namespace {

size_t countBlack(const Dots& d, int x0 = 0, int y0 = 0, int x1 = 1 << 30, int y1 = 1 << 30)
{
    size_t n = 0;
    for (int y = std::max(0, y0); y < std::min<int>(int(d.size()), y1); ++y)
        for (int x = std::max(0, x0); x < std::min<int>(int(d[size_t(y)].size()), x1); ++x)
            n += d[size_t(y)][size_t(x)];
    return n;
}

struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1; // none: a negative width
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

Box blackBox(const Dots& d)
{
    Box b;
    for (int y = 0; y < int(d.size()); ++y)
        for (int x = 0; x < int(d[size_t(y)].size()); ++x)
            if (d[size_t(y)][size_t(x)]) {
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x);
                b.y1 = std::max(b.y1, y);
            }
    return b;
}

Dots render(const Bytes& bytes, int width = 384)
{
    sim::PrinterOptions o;
    o.paperDots = width;
    Printer p(o);
    p.feed(bytes);
    p.flush();
    return p.paperDots();
}

} // namespace

// Between min and max dots in the rectangle [x0, x1) × [y0, y1) of the paper.
struct Area {
    int x0, y0, x1, y1;
    size_t min, max;
};

TEST(Render, DotsLandWhereTheCommandsPutThem)
{
    constexpr int kEnd = 1 << 30;
    // The all-black print: five bands of ESC * 00 D2 00, 210 × FF, CR, ESC J 16.
    Bytes allBlack{0x1B, 0x40};
    for (int band = 0; band < 5; ++band) {
        allBlack.insert(allBlack.end(), {0x1B, 0x2A, 0x00, 0xD2, 0x00});
        allBlack.insert(allBlack.end(), 210, 0xFF);
        allBlack.insert(allBlack.end(), {0x0D, 0x1B, 0x4A, 0x10});
    }
    Bytes halfRows;
    for (uint8_t feed : {1, 15}) {
        halfRows.insert(halfRows.end(), {0x1B, 0x2A, 0x00, 0x04, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D});
        halfRows.insert(halfRows.end(), {0x1B, 0x4A, feed});
    }
    halfRows.insert(halfRows.end(), {0x1B, 0x2A, 0x00, 0x04, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D});
    Bytes wide{0x1B, 0x2A, 0x00, 0x90, 0x01}; // 400 columns
    wide.insert(wide.end(), 400, 0xFF);
    wide.push_back(0x0A);
    Bytes wideRaster{0x1D, 0x76, 0x30, 0x00, 72, 0x00, 0x01, 0x00}; // 576 dots, one row
    wideRaster.insert(wideRaster.end(), 72, 0xFF);
    const std::string number = "\x1C\xAA\x1A" "ABCdef123456" "\x1C\xAA\x19"; // set it, print it
    Bytes wrapped{0x1C, 0x2E}; // 32 fit on 384 dots at 12 dots each
    wrapped.insert(wrapped.end(), 42, 'H');
    wrapped.push_back(0x0A);
    const struct Case {
        const char* what;
        Bytes bytes;
        int width;
        std::vector<Area> areas;
    } cases[] = {
        {"all black: ESC J 16 is one 8-dot band, so five bands are one solid block of 40 rows x 210 columns",
         allBlack, 384, {{0, 0, 210, 40, 8400, 8400}, {0, 0, kEnd, kEnd, 8400, 8400}}},
        {"ESC J 1 and ESC J 15 move one band on: the odd unit is not lost", halfRows, 384,
         {{0, 0, 4, 16, 64, 64}, {0, 0, kEnd, kEnd, 64, 64}}},
        {"one column per byte, top bit at the top: 80 sets row 0, 01 row 7",
         {0x1B, 0x2A, 0x00, 0x03, 0x00, 0x80, 0x01, 0xFF, 0x0A}, 384,
         {{0, 0, 1, 1, 1, 1}, {0, 1, 1, 2, 0, 0}, {1, 7, 2, 8, 1, 1}, {1, 6, 2, 7, 0, 0}, {2, 0, 3, 8, 8, 8},
          {0, 0, kEnd, kEnd, 10, 10}}},
        {"24-dot images are three bytes a column", {0x1B, 0x2A, 0x21, 0x01, 0x00, 0xFF, 0x00, 0x01, 0x0A}, 384,
         {{0, 0, kEnd, kEnd, 9, 9}, {0, 23, 1, 24, 1, 1}}},
        {"columns past the paper's width are dropped", wide, 384, {{0, 0, kEnd, kEnd, 384 * 8, 384 * 8}}},
        {"on wider paper they print", wide, 576, {{0, 0, kEnd, kEnd, 400 * 8, 400 * 8}}},
        {"underline: the cells' bottom rows, across all three characters",
         {0x1C, 0x2E, 0x1B, 0x21, 0x80, 'a', 'b', 'c', 0x0A}, 384, {{0, 22, 36, 24, 72, 72}}},
        {"text wraps at the paper's edge: the 10 left over one line down, nothing past them", wrapped, 384,
         {{0, 0, 384, 24, 1, kEnd}, {0, 30, 120, 54, 1, kEnd}, {130, 30, 384, 54, 0, 0}}},
        {"a raster row: 80 sets its left dot, 01 its eighth",
         {0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x02, 0x00, 0x80, 0x01}, 384,
         {{0, 0, 1, 1, 1, 1}, {7, 1, 8, 2, 1, 1}, {0, 0, kEnd, kEnd, 2, 2}}},
        {"a raster in quadruple size: each dot 2 x 2", {0x1D, 0x76, 0x30, 0x03, 0x01, 0x00, 0x01, 0x00, 0x80}, 384,
         {{0, 0, 2, 2, 4, 4}, {0, 0, kEnd, kEnd, 4, 4}}},
        {"raster dots past the paper's width are dropped", wideRaster, 384, {{0, 0, kEnd, kEnd, 384, 384}}},
        {"text before a raster prints on its line, the raster below it",
         {0x1C, 0x2E, 'H', 0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x01, 0x00, 0xFF}, 384,
         {{0, 0, 12, 24, 1, kEnd}, {0, 24, 8, 25, 8, 8}, {8, 24, kEnd, kEnd, 0, 0}}},
        {"a cut is a dashed line, not a solid one, where ESC J 80 (40 rows) left it", {0x1B, 0x4A, 0x50, 0x1B, 0x69}, 384,
         {{0, 40, 384, 41, 101, 299}}},
        {"the machine number: a label of three Chinese cells (24 dots), then \": \" and twelve characters (12 dots)",
         Bytes(number.begin(), number.end()), 384,
         {{3 * 24 + 13 * 12 + 1, 0, 3 * 24 + 14 * 12 + 1, kEnd, 1, kEnd}, {3 * 24 + 14 * 12 + 1, 0, kEnd, kEnd, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Dots d = render(c.bytes, c.width);
        ASSERT_EQ(d.at(0).size(), size_t(c.width));
        for (const Area& a : c.areas) {
            const size_t n = countBlack(d, a.x0, a.y0, a.x1, a.y1);
            EXPECT_TRUE(n >= a.min && n <= a.max) << n << " dots from " << a.x0 << "," << a.y0 << " to " << a.x1
                                                  << "," << a.y1;
        }
    }
}

TEST(Render, LettersDrawNonEmptyGlyphBoxesInTheirCells)
{
    struct Case {
        const char* name;
        Bytes bytes;
        int maxW, maxH; // the cell
    } cases[] = {
        {"Latin 12x24", {0x1C, 0x2E, 'H', 0x0A}, 12, 24},
        {"Latin font B", {0x1C, 0x2E, 0x1B, 0x21, 0x01, 'H', 0x0A}, 9, 17},
        {"double width", {0x1C, 0x2E, 0x1B, 0x21, 0x20, 'H', 0x0A}, 24, 24},
        {"double height", {0x1C, 0x2E, 0x1B, 0x21, 0x10, 'H', 0x0A}, 12, 48},
        {"Chinese 24x24", {0xB2, 0xE2, 0x0A}, 24, 24},
        {"Chinese double", {0x1C, 0x21, 0x0C, 0xB2, 0xE2, 0x0A}, 48, 48},
    };
    std::vector<Box> boxes;
    for (const Case& c : cases) {
        const Box b = boxes.emplace_back(blackBox(render(c.bytes)));
        EXPECT_LE(b.x1, c.maxW - 1) << c.name;
        EXPECT_LE(b.y1, c.maxH - 1) << c.name;
        // A glyph fills a fair part of its cell.
        EXPECT_GE(b.width(), c.maxW / 3) << c.name;
        EXPECT_GE(b.height(), c.maxH / 3) << c.name;
    }
    // Doubling makes the glyph wider or taller than the plain one.
    EXPECT_GT(boxes[2].width(), boxes[0].width());
    EXPECT_GT(boxes[3].height(), boxes[0].height());
}

// A picture of 20 x 20 dots (rows and columns no multiple of 8) as ESC *
// bands with their feeds, as one raster image and as raster slices of 7
// rows: the same dots on the paper.
TEST(Render, ARasterImagePrintsTheSameDotsAsBitImageBands)
{
    constexpr int kSide = 20;
    const auto black = [](int x, int y) { return (x * 7 + y * 3) % 5 == 0 || x == y; };
    Bytes bands;
    for (int top = 0; top < kSide; top += 8) {
        bands.insert(bands.end(), {0x1B, 0x2A, 0x00, kSide, 0x00});
        for (int x = 0; x < kSide; ++x) {
            uint8_t column = 0;
            for (int bit = 0; bit < 8 && top + bit < kSide; ++bit)
                column |= black(x, top + bit) ? 0x80 >> bit : 0;
            bands.push_back(column);
        }
        bands.insert(bands.end(), {0x1B, 0x4A, 0x10}); // 16 units: one band's 8 rows
    }
    const auto raster = [&](int sliceRows) {
        Bytes out;
        for (int top = 0; top < kSide; top += sliceRows) {
            const int rows = std::min(sliceRows, kSide - top);
            out.insert(out.end(), {0x1D, 0x76, 0x30, 0x00, 3, 0x00, uint8_t(rows), 0x00});
            for (int y = top; y < top + rows; ++y)
                for (int byte = 0; byte < 3; ++byte) {
                    uint8_t b = 0;
                    for (int bit = 0; bit < 8; ++bit)
                        b |= byte * 8 + bit < kSide && black(byte * 8 + bit, y) ? 0x80 >> bit : 0;
                    out.push_back(b);
                }
        }
        return out;
    };
    Dots want = render(bands);
    ASSERT_GE(want.size(), size_t(kSide));
    EXPECT_EQ(countBlack(want, 0, kSide), 0u); // the last band's padding rows stay white
    want.resize(kSide);
    for (int slice : {kSide, 7}) {
        SCOPED_TRACE(slice);
        EXPECT_EQ(render(raster(slice)), want);
    }
}

// Outside Chinese mode 80-FF draw the chosen table's characters; a table
// not drawn, or a byte its table leaves undefined, is a box.
TEST(Render, CodeTablesDrawTheirOwnCharacters)
{
    const auto withTable = [](uint8_t table, uint8_t byte) { return render({0x1C, 0x2E, 0x1B, 0x74, table, byte, 0x0A}); };
    const Dots box = withTable(1, 0xB1); // Katakana is not drawn
    EXPECT_EQ(blackBox(box).width(), 10); // the outline one dot inside the 12-dot cell
    EXPECT_EQ(withTable(16, 0x81), box); // undefined in WPC1252
    struct Case {
        uint8_t table, byte;
        const char* character;
    } cases[] = {{0, 0x80, "Ç"}, {16, 0x80, "€"}, {17, 0x80, "А"}, {0, 0xDB, "█"}, {18, 0xA5, "ą"}};
    std::vector<Dots> drawn;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.character);
        const Dots& d = drawn.emplace_back(withTable(c.table, c.byte));
        EXPECT_NE(d, box);
        EXPECT_GT(countBlack(d), 10u);
        EXPECT_EQ(countBlack(d, 12), 0u); // in its 12-dot cell
    }
    EXPECT_NE(drawn[0], drawn[1]); // the same byte, two tables
}

TEST(Render, ACharacterWithoutAGlyphIsABoxInItsCell)
{
    // A lead byte followed by a line feed is no character: the printer shows
    // a box in a Chinese 24x24 cell, its outline one dot inside the cell.
    const Dots d = render({0x81, 0x0A});
    const Box b = blackBox(d);
    EXPECT_EQ((std::vector<int>{b.x0, b.y0, b.width(), b.height()}), (std::vector<int>{1, 1, 22, 22}));
    EXPECT_EQ(countBlack(d), size_t(2 * (22 + 22) - 4)); // the outline alone

    // A lead byte takes 7F as its trail: one code, no character, one box.
    Printer p;
    p.feed(Bytes{0xA8, 0x7F, 0x0A});
    p.flush();
    EXPECT_EQ(p.state().unknownCommands, 0u);
    EXPECT_EQ(p.paperDots(), d);
}

TEST(Render, WritesItsOutputs)
{
    testsupport::TempDir dir;
    Bytes firmware(3000);
    for (size_t i = 0; i < firmware.size(); ++i)
        firmware[i] = uint8_t(i * 13);
    Printer p;
    p.feed(Bytes{0x1B, 0x40, 0xB2, 0xE2, 0xCA, 0xD4, 0x0A, 0x1B, 0x70, 0x00, 0x33, 0x00, 0x1B, 0x69});
    p.feed(Bytes{0x1C, 0xAA, 0x55, 0x01});
    p.feed(firmware);
    p.flush();
    p.feed(Bytes{0x1C, 0xAA, 0x0D, 'f', 'o', 'n', 't'});
    p.flush();
    std::string err;
    ASSERT_TRUE(p.writeOutputs(dir / "out", &err)) << err;
    QImage img(QString::fromStdString(dir / "out/paper.png"));
    EXPECT_GT(img.width(), 384); // the paper and its margin of notes
    EXPECT_EQ(testsupport::ReadText(dir / "out/transcript.txt").find("1B 40  ESC @ initialise\n"), 0u);
    EXPECT_EQ(testsupport::ReadText(dir / "out/state.json"), p.stateJson());
    EXPECT_EQ(testsupport::ReadText(dir / "out/download-1-firmware.bin"), std::string(firmware.begin(), firmware.end()));
    EXPECT_EQ(testsupport::ReadText(dir / "out/download-2-font.bin"), "font");
    const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(p.stateJson())).object();
    EXPECT_EQ(state["downloads"][0]["file"].toString(), "download-1-firmware.bin");
    // A folder that cannot be made is an error, not a crash.
    EXPECT_FALSE(p.writeOutputs("/proc/no/such/dir", &err));
    EXPECT_FALSE(err.empty());
}
