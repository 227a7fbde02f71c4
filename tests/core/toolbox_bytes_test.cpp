// The toolbox's byte streams against the commands' definitions: pictures
// (ESC * bands, GS v 0 slices), the character-table grid, the drawer kick,
// the printer-ID requests; and the input each refuses.
#include "printer/codepage.h"
#include "printer/drawer.h"
#include "printer/image.h"
#include "printer/info.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace {

std::string Hex(const std::string& bytes)
{
    std::string out;
    char cell[4];
    for (unsigned char b : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", b);
        out += cell;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

// A picture whose dots no two rows or columns share by accident.
MonoImage Pattern(int width, int height)
{
    MonoImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.dots[static_cast<size_t>(y) * width + x] = (x * 7 + y * 3) % 5 == 0 || x == y;
    return image;
}

std::string Word(int v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string Encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return data.toStdString();
}

std::span<const BYTE> Span(const std::string& s)
{
    return {reinterpret_cast<const BYTE*>(s.data()), s.size()};
}

// A PNG signature and header chunk claiming width x height (no pixels).
std::string PngHeader(uint32_t width, uint32_t height)
{
    std::string png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            png.push_back(static_cast<char>(v >> shift));
    png += std::string("\x08\x00\x00\x00\x00\0\0\0\0", 9); // 8-bit grey, CRC unchecked
    return png;
}

} // namespace

// Literal streams, from the commands' definitions.
TEST(ToolboxBytes, LiteralStreams)
{
    MonoImage oneDot{1, 1, {1}};
    MonoImage nine{9, 1, {1, 0, 0, 0, 0, 0, 0, 0, 1}};
    MonoImage column{1, 9, {1, 0, 0, 0, 0, 0, 0, 1, 1}};
    struct Row {
        std::string bytes, hex;
    } rows[] = {
        {ImageBandBytes(oneDot, 16), "1B 40 1B 2A 00 01 00 80 0D 1B 4A 10"},
        {ImageBandBytes(column, 8), "1B 40 1B 2A 00 01 00 81 0D 1B 4A 08 1B 2A 00 01 00 80 0D 1B 4A 08"},
        {ImageRasterBytes(nine), "1B 40 1D 76 30 00 02 00 01 00 80 80"},
        {ImageRasterBytes(column), "1B 40 1D 76 30 00 01 00 09 00 80 00 00 00 00 00 00 80 80"},
        {DrawerKickBytes({2, 2, 510, 1, 0}), "1B 70 00 01 FF"},
        {DrawerKickBytes({5, 100, 3, 1, 0}), "1B 70 01 32 01"},
        {DrawerKickBytes({5, 511, 100, 1, 0}), ""},
        {InfoRequestBytes(), "1D 49 01 1D 49 02 1D 49 03"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Hex(row.bytes), row.hex);
}

// ESC * bands at the edges of width and height: one band per 8 rows, rows
// past the picture white, each band's columns as wide as the picture.
TEST(ToolboxBytes, BandsAtTheEdges)
{
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {210, 8}, {211, 9}, {576, 17}, {210, 255}, {3, 256}};
    for (const auto& size : sizes) {
        const MonoImage image = Pattern(size.width, size.height);
        std::string expected = "\x1B\x40";
        for (int top = 0; top < size.height; top += 8) {
            expected += std::string("\x1B\x2A\x00", 3) + Word(size.width);
            for (int x = 0; x < size.width; ++x) {
                int column = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (top + bit < size.height && image.Black(x, top + bit))
                        column |= 1 << (7 - bit);
                expected.push_back(static_cast<char>(column));
            }
            expected += "\r\x1B\x4A\x10";
        }
        EXPECT_EQ(ImageBandBytes(image, 16), expected) << size.width << "x" << size.height;
    }
}

// GS v 0 slices of at most 255 rows, each row (width + 7) / 8 bytes.
TEST(ToolboxBytes, RasterSlicesAtTheEdges)
{
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {210, 255}, {211, 256}, {576, 511}, {8, 600}};
    for (const auto& size : sizes) {
        const MonoImage image = Pattern(size.width, size.height);
        const int bytesWide = (size.width + 7) / 8;
        std::string expected = "\x1B\x40";
        for (int top = 0; top < size.height; top += 255) {
            const int rows = std::min(255, size.height - top);
            expected += std::string("\x1D\x76\x30\x00", 4) + Word(bytesWide) + Word(rows);
            for (int y = top; y < top + rows; ++y)
                for (int b = 0; b < bytesWide; ++b) {
                    int eight = 0;
                    for (int bit = 0; bit < 8; ++bit)
                        if (b * 8 + bit < size.width && image.Black(b * 8 + bit, y))
                            eight |= 1 << (7 - bit);
                    expected.push_back(static_cast<char>(eight));
                }
        }
        EXPECT_EQ(ImageRasterBytes(image), expected) << size.width << "x" << size.height;
    }
}

// Scaling, brightness, inversion and the three ditherings on plain greys.
TEST(ToolboxBytes, DitheringOfPlainGreys)
{
    const struct {
        int level;
        ImageJob job;
        int blackPercentMin, blackPercentMax;
    } rows[] = {
        {100, {40, Dither::Threshold, 101}, 100, 100},
        {100, {40, Dither::Threshold, 100}, 0, 0},
        {100, {40, Dither::Threshold, 101, 0, true}, 0, 0},       // inverted: 155
        {100, {40, Dither::Threshold, 128, 20}, 0, 0},            // brightened: 151
        {128, {40, Dither::FloydSteinberg}, 48, 52},
        {64, {40, Dither::FloydSteinberg}, 72, 78},
        {128, {40, Dither::Atkinson}, 45, 55},
        {255, {40, Dither::Atkinson, 128, -100}, 100, 100},       // darkened to black
    };
    for (const auto& row : rows) {
        GrayImage grey{80, 80, std::vector<uint8_t>(6400, static_cast<uint8_t>(row.level))};
        MonoImage mono;
        std::string error;
        ASSERT_TRUE(MakeMonoImage(grey, row.job, &mono, &error)) << error;
        ASSERT_EQ(mono.width, 40);
        ASSERT_EQ(mono.height, 40);
        long black = 0;
        for (uint8_t d : mono.dots)
            black += d;
        const long percent = black * 100 / 1600;
        EXPECT_GE(percent, row.blackPercentMin) << row.level << " " << DitherName(row.job.dither);
        EXPECT_LE(percent, row.blackPercentMax) << row.level << " " << DitherName(row.job.dither);
    }
}

// Every format decodes to the same dots; transparency prints as paper.
TEST(ToolboxBytes, DecodesPngBmpJpeg)
{
    QImage image(16, 8, QImage::Format_ARGB32);
    image.fill(Qt::white);
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y)
            image.setPixelColor(x, y, Qt::black);
    image.setPixelColor(15, 0, QColor(0, 0, 0, 0));
    for (const char* format : {"PNG", "BMP", "JPEG"}) {
        GrayImage grey;
        MonoImage mono;
        std::string error;
        ASSERT_TRUE(DecodeImage(Span(Encoded(image, format)), &grey, &error)) << format << ": " << error;
        ASSERT_TRUE(MakeMonoImage(grey, {16, Dither::Threshold}, &mono, &error));
        ASSERT_EQ(mono.height, 8) << format;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                // Only PNG keeps the transparent pixel, which BMP and JPEG store black.
                EXPECT_EQ(mono.Black(x, y), x < 8 || (x == 15 && y == 0 && std::string(format) != "PNG"))
                    << format << " " << x << "," << y;
    }
}

// Bad input is refused with a reason.
TEST(ToolboxBytes, RefusesBadInput)
{
    GrayImage grey;
    std::string error;
    const struct {
        std::string file;
        const char* reason;
    } files[] = {
        {"hello, this is text", "不是可读的图片"},
        {"", "不是可读的图片"},
        {PngHeader(0, 0), "图片是空的（0 × 0）"},
        {PngHeader(20000, 20000), "图片太大"},
        {PngHeader(10000, 5000), "图片太大"},
    };
    for (const auto& f : files) {
        error.clear();
        EXPECT_FALSE(DecodeImage(Span(f.file), &grey, &error));
        EXPECT_NE(error.find(f.reason), std::string::npos) << error;
    }

    MonoImage mono;
    const GrayImage tall{1, 9000, std::vector<uint8_t>(9000, 0)};
    EXPECT_FALSE(MakeMonoImage(tall, {2}, &mono, &error));
    EXPECT_NE(error.find("太长"), std::string::npos) << error;
    EXPECT_FALSE(MakeMonoImage(GrayImage{}, {}, &mono, &error));
    EXPECT_FALSE(MakeMonoImage(tall, {0}, &mono, &error));
    EXPECT_FALSE(MakeMonoImage(tall, {2049}, &mono, &error));

    const struct {
        DrawerJob job;
        const char* reason;
    } drawers[] = {
        {{2, 0, 100}, "开启时间"}, {{2, 100, 0}, "关闭时间"}, {{3, 100, 100}, "引脚"},
        {{5, 100, 100, 0}, "次数"}, {{5, 100, 100, 2, -1}, "间隔"},
    };
    for (const auto& d : drawers) {
        const char* why = CheckDrawerJob(d.job);
        ASSERT_NE(why, nullptr);
        EXPECT_NE(std::string(why).find(d.reason), std::string::npos) << why;
        EXPECT_EQ(DrawerKickBytes(d.job), "");
    }

    int table = -1;
    for (const char* text : {"256", "-1", "", "1x", "abc"}) {
        EXPECT_FALSE(ParseCodeTable(text, &table, &error)) << text;
        EXPECT_NE(error.find("0–255"), std::string::npos);
    }
    EXPECT_TRUE(ParseCodeTable("255", &table, &error));
    EXPECT_EQ(table, 255);
    EXPECT_EQ(CodePageBytes(256), "");
}

// The grid: FS ., ESC t n, title, headers, 80-FF, ESC @ after.
TEST(ToolboxBytes, CodePageGrid)
{
    for (const auto& [number, title] : {std::pair{16, "ESC t 16 WPC1252"}, {42, "ESC t 42"}, {0, "ESC t 0 PC437"}}) {
        std::string expected = std::string("\x1C\x2E\x1B\x74", 4) + static_cast<char>(number) + title + "\n" +
                               "  0123456789ABCDEF\n";
        for (int row = 0x80; row <= 0xF0; row += 0x10) {
            expected += "0123456789ABCDEF"[row >> 4];
            expected += ' ';
            for (int b = row; b < row + 16; ++b)
                expected += static_cast<char>(b);
            expected += '\n';
        }
        expected += "\n\x1B\x40";
        EXPECT_EQ(CodePageBytes(number), expected) << number;
    }
    std::string all;
    for (int n : {0, 1, 2, 3, 4, 5, 16, 17, 18, 19})
        all += CodePageBytes(n);
    EXPECT_EQ(AllCodePagesBytes(), all);
}

TEST(ToolboxBytes, PrinterIdAnswers)
{
    const auto answers = InfoAnswers(std::string("\x20\x03", 2));
    const struct {
        int request;
        std::optional<BYTE> answer;
        const char* text;
    } rows[] = {
        {0, answers[0], "0x20 (32)"},
        {1, answers[1], "0x03 (3)，支持双字节字符，有自动切刀，非标签纸"},
        {1, BYTE{0x48}, "0x48 (72)，不支持双字节字符，无自动切刀，非标签纸，位3未定义，位6未定义"},
        {2, answers[2], "无应答"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(InfoAnswerText(row.request, row.answer), row.text);
}
