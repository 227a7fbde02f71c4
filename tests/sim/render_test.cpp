// Tests of the virtual printer's paper: bit images dot for dot, glyph boxes,
// print modes, feeds, cuts and the PNG output.
#include "sim/printer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>

using sim::Printer;
using Bytes = std::vector<uint8_t>;
using Dots = std::vector<std::vector<bool>>;

namespace {

// The all-black print: five bands of ESC * 00 D2 00, 210 × FF, CR, ESC J 16.
Bytes allBlack()
{
    Bytes b;
    for (int band = 0; band < 5; ++band) {
        const Bytes head{0x1B, 0x2A, 0x00, 0xD2, 0x00};
        b.insert(b.end(), head.begin(), head.end());
        b.insert(b.end(), 210, 0xFF);
        const Bytes tail{0x0D, 0x1B, 0x4A, 0x10};
        b.insert(b.end(), tail.begin(), tail.end());
    }
    return b;
}

size_t countBlack(const Dots& d, int x0 = 0, int y0 = 0, int x1 = 1 << 30, int y1 = 1 << 30)
{
    size_t n = 0;
    for (int y = std::max(0, y0); y < std::min<int>(int(d.size()), y1); ++y)
        for (int x = std::max(0, x0); x < std::min<int>(int(d[size_t(y)].size()), x1); ++x)
            n += d[size_t(y)][size_t(x)];
    return n;
}

struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
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

TEST(Render, AllBlackBandIsExactlyItsDotsInPlace)
{
    Bytes b{0x1B, 0x40};
    const Bytes black = allBlack();
    b.insert(b.end(), black.begin(), black.end());
    const Dots d = render(b);
    ASSERT_EQ(d[0].size(), 384u);
    EXPECT_EQ(countBlack(d), 5u * 210u * 8u);
    for (int band = 0; band < 5; ++band) {
        // Each band is 210 columns from the left edge, 8 rows, 16 rows apart.
        EXPECT_EQ(countBlack(d, 0, band * 16, 210, band * 16 + 8), 210u * 8u) << band;
    }
    EXPECT_EQ(countBlack(d, 210, 0, 384, 1000), 0u);
}

TEST(Render, BitImageColumnsDotForDot)
{
    // One column per byte, top bit at the top: 80 sets row 0, 01 row 7.
    const Dots d = render({0x1B, 0x2A, 0x00, 0x03, 0x00, 0x80, 0x01, 0xFF, 0x0A});
    EXPECT_TRUE(d[0][0]);
    EXPECT_FALSE(d[1][0]);
    EXPECT_TRUE(d[7][1]);
    EXPECT_FALSE(d[6][1]);
    EXPECT_EQ(countBlack(d, 2, 0, 3, 8), 8u);
    EXPECT_EQ(countBlack(d), 10u);
    // 24-dot images are three bytes a column.
    const Dots d24 = render({0x1B, 0x2A, 0x21, 0x01, 0x00, 0xFF, 0x00, 0x01, 0x0A});
    EXPECT_EQ(countBlack(d24), 9u);
    EXPECT_TRUE(d24[23][0]);
    // Columns past the paper's width are dropped.
    Bytes wide{0x1B, 0x2A, 0x00, 0x90, 0x01};
    wide.insert(wide.end(), 400, 0xFF);
    wide.push_back(0x0A);
    EXPECT_EQ(countBlack(render(wide)), 384u * 8u);
    EXPECT_EQ(countBlack(render(wide, 576)), 400u * 8u);
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
        ASSERT_FALSE(b.empty()) << c.name;
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

TEST(Render, ACharacterWithoutAGlyphIsABoxInItsCell)
{
    // A lead byte followed by a line feed is no character: the printer shows
    // a box in a Chinese 24x24 cell, its outline one dot inside the cell.
    const Dots d = render({0x81, 0x0A});
    const Box b = blackBox(d);
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(b.x0, 1);
    EXPECT_EQ(b.y0, 1);
    EXPECT_EQ(b.width(), 22);
    EXPECT_EQ(b.height(), 22);
    EXPECT_EQ(countBlack(d), size_t(2 * (22 + 22) - 4)); // the outline alone

    // A lead byte takes 7F as its trail: one code, no character, one box.
    Printer p;
    p.feed(Bytes{0xA8, 0x7F, 0x0A});
    p.flush();
    EXPECT_EQ(p.state().unknownCommands, 0u);
    EXPECT_EQ(p.paperDots(), d);
}

TEST(Render, UnderlineRunsUnderTheText)
{
    const Dots d = render({0x1C, 0x2E, 0x1B, 0x21, 0x80, 'a', 'b', 'c', 0x0A});
    // The bottom rows of the cells are black across all three characters.
    EXPECT_EQ(countBlack(d, 0, 22, 36, 24), 36u * 2u);
}

TEST(Render, TextWrapsAtThePaperEdgeAndLinesFeed)
{
    Bytes b{0x1C, 0x2E};
    b.insert(b.end(), 42, 'H'); // 32 fit on 384 dots at 12 dots each
    b.push_back(0x0A);
    sim::PrinterOptions o;
    Printer p(o);
    p.feed(b);
    const Dots d = p.paperDots();
    EXPECT_GT(countBlack(d, 0, 0, 384, 24), 0u);
    EXPECT_GT(countBlack(d, 0, 30, 120, 54), 0u);  // the 10 left over, one line down
    EXPECT_EQ(countBlack(d, 130, 30, 384, 54), 0u); // and nothing past them
}

TEST(Render, CutsAreDashedLines)
{
    Printer p;
    p.feed(Bytes{0x1B, 0x4A, 0x50, 0x1B, 0x69});
    const Dots d = p.paperDots();
    ASSERT_GT(d.size(), 80u);
    const size_t dots = countBlack(d, 0, 80, 384, 81);
    EXPECT_GT(dots, 100u);
    EXPECT_LT(dots, 300u); // dashed, not solid
}

// The paper, the transcript, the state and each download's bytes beside it.
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
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(img.width(), 384); // the paper and its margin of notes
    EXPECT_EQ(testsupport::ReadText(dir / "out/transcript.txt").find("1B 40  ESC @ initialise\n"), 0u);
    EXPECT_EQ(testsupport::ReadText(dir / "out/state.json"), p.stateJson());
    EXPECT_EQ(testsupport::ReadText(dir / "out/download-1-firmware.bin"), std::string(firmware.begin(), firmware.end()));
    EXPECT_EQ(testsupport::ReadText(dir / "out/download-2-font.bin"), "font");
    EXPECT_NE(p.stateJson().find("\"file\": \"download-1-firmware.bin\""), std::string::npos) << p.stateJson();
    // A folder that cannot be made is an error, not a crash.
    EXPECT_FALSE(p.writeOutputs("/proc/no/such/dir", &err));
    EXPECT_FALSE(err.empty());
}

TEST(Render, ThePrintedMachineNumberCarriesItsLabel)
{
    Bytes bytes{0x1C, 0xAA, 0x1A};
    for (char c : std::string("ABCdef123456"))
        bytes.push_back(uint8_t(c));
    bytes.insert(bytes.end(), {0x1C, 0xAA, 0x19});
    Printer p;
    p.feed(bytes);
    p.flush();
    EXPECT_EQ(p.countLines("print machine number \"ABCdef123456\""), 1u);
    // Three Chinese cells (24 dots) for the label, then ": " and twelve
    // characters (12 dots each): the line is 3*24 + 14*12 dots wide.
    const Box box = blackBox(p.paperDots());
    EXPECT_GT(box.x1, 3 * 24 + 13 * 12);
    EXPECT_LE(box.x1, 3 * 24 + 14 * 12);
}
