// Tests of the virtual printer's decoder and state: every command the
// program sends, to its transcript line and state; chunking; truncation.
#include "sim/printer.h"

#include "sim/codetables.h"
#include "sim/downloads.h"
#include "sim/paper.h"
#include "sim/status.h"
#include "sim/transcript.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <random>

using sim::Printer;
using Bytes = std::vector<uint8_t>;

namespace {

std::vector<std::string> decode(const Bytes& bytes)
{
    Printer p;
    p.feed(bytes);
    p.flush();
    return p.transcript();
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

QJsonObject parseState(const Printer& p)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(p.stateJson()), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << p.stateJson();
    return doc.object();
}

} // namespace

TEST(Decoder, EachCommandToItsTranscriptLine)
{
    struct Case {
        Bytes bytes;
        std::vector<std::string> lines; // the transcript's first lines
    } cases[] = {
        {{0x1B, 0x40}, {"1B 40  ESC @ initialise"}},
        {{0x1B, 0x21, 0xA0}, {"1B 21 A0  ESC ! print mode: font A, double width, underline"}},
        {{0x1B, 0x21, 0x01}, {"1B 21 01  ESC ! print mode: font B"}},
        {{0x1B, 0x2A, 0x00, 0x02, 0x00, 0xFF, 0x00}, {"1B 2A 00 02 00  ESC * bit image: 8-dot single density, 2 columns"}},
        {{0x1B, 0x4A, 0x10}, {"1B 4A 10  ESC J feed 16 units"}},
        {{0x1B, 0x55, 0x01}, {"1B 55 01  ESC U unidirectional on"}},
        {{0x1B, 0x20, 0x05}, {"1B 20 05  ESC SP character spacing 5 dots"}},
        {{0x1B, 0x33, 0x10}, {"1B 33 10  ESC 3 line spacing 16 units"}},
        {{0x1B, 0x69}, {"1B 69  ESC i full cut"}},
        {{0x1B, 0x6D}, {"1B 6D  ESC m partial cut"}},
        {{0x1B, 0x70, 0x01, 0x33, 0x00},
         {"1B 70 01 33 00  ESC p drawer kick: connector 1 (pin 5), on 51 (102 ms), off 0 (0 ms)"}},
        {{0x1B, 0x70, 0x30, 0x01, 0xFF},
         {"1B 70 30 01 FF  ESC p drawer kick: connector 48 (pin 2), on 1 (2 ms), off 255 (510 ms)"}},
        {{0x1B, 0x70, 0x02, 0x32, 0x32}, {"1B 70 02 32 32  ESC p drawer kick: connector 2 (no pin), on 50 (100 ms), off 50 (100 ms)"}},
        // Code tables: outside Chinese mode, 80-FF from the table chosen; a
        // table not drawn (or a byte it leaves undefined) is a '?' and a box.
        {{0x1B, 0x74, 0x10}, {"1B 74 10  ESC t character table 16 (WPC1252)"}},
        {{0x1B, 0x74, 0xFF}, {"1B 74 FF  ESC t character table 255 (unknown)"}},
        {{0x1C, 0x2E, 0x1B, 0x74, 0x00, 0xB2, 0x80, 0x41},
         {"1C 2E  FS . Chinese mode off", "1B 74 00  ESC t character table 0 (PC437)", "TEXT \"▓ÇA\""}},
        {{0x1C, 0x2E, 0x1B, 0x74, 0x10, 0x80, 0x81, 0xE9},
         {"1C 2E  FS . Chinese mode off", "1B 74 10  ESC t character table 16 (WPC1252)", "TEXT \"€?é\" (undecodable: 81)"}},
        {{0x1C, 0x2E, 0x1B, 0x74, 0x01, 0xB1},
         {"1C 2E  FS . Chinese mode off", "1B 74 01  ESC t character table 1 (Katakana, not drawn)",
          "TEXT \"?\" (undecodable: B1)"}},
        {{0x1C, 0x2E, 0x1B, 0x74, 0x11, 0x80, 0x1B, 0x74, 0x13, 0xD5},
         {"1C 2E  FS . Chinese mode off", "1B 74 11  ESC t character table 17 (PC866)", "TEXT \"А\"",
          "1B 74 13  ESC t character table 19 (PC858)", "TEXT \"€\""}},
        // The printer's ID, in both forms of n (the defaults: model 20, type 03, version 10).
        {{0x1D, 0x49, 0x01, 0x1D, 0x49, 0x02, 0x1D, 0x49, 0x03, 0x1D, 0x49, 0x31},
         {"1D 49 01  GS I printer ID 1 (model) -> 20", "1D 49 02  GS I printer ID 2 (type) -> 03",
          "1D 49 03  GS I printer ID 3 (version) -> 10", "1D 49 31  GS I printer ID 49 (model) -> 20"}},
        {{0x1D, 0x49, 0x41}, {"unknown 1D 49 41"}},
        // Raster images: the header logged, the data counted by its size.
        {{0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x02, 0x00, 0xFF, 0x81, 0x0A},
         {"1D 76 30 00 01 00 02 00  GS v 0 raster image, 8 x 2 dots, normal", "LF"}},
        {{0x1D, 0x76, 0x30, 0x33, 0x02, 0x00, 0x01, 0x00, 0xAA, 0x55},
         {"1D 76 30 33 02 00 01 00  GS v 0 raster image, 16 x 1 dots, quadruple"}},
        {{0x1D, 0x76, 0x30, 0x05, 0x01, 0x00, 0x01, 0x00, 0xAA}, {"unknown 1D 76 30 05 01 00 01 00"}},
        {{0x1D, 0x76, 0x31}, {"unknown 1D 76 31"}},
        {{0x1D, 0x76, 0x30, 0x00, 0xFF, 0xFF, 0x01, 0x01, 0x00},
         {"1D 76 30 00 FF FF 01 01  GS v 0 raster image, 524280 x 257 dots, normal: 16842495 bytes, too large to keep, "
          "skipped",
          "truncated raster image: 16842494 bytes of it missing"}},
        {{0x1C, 0x21, 0x8C}, {"1C 21 8C  FS ! Chinese print mode: double width, double height, underline"}},
        {{0x1D, 0x56, 0x66, 0x01}, {"1D 56 66 01  GS V full cut after feeding 1 units (form 66)"}},
        {{0x1D, 0x56, 0x00}, {"1D 56 00  GS V full cut"}},
        {{0x1D, 0x56, 0x42, 0x10}, {"1D 56 42 10  GS V partial cut after feeding 16 units (form 42)"}},
        {{0x0D, 0x09}, {"CR", "HT"}},
        {{0x1C, 0xAA, 0x55, 0x01}, {"1C AA 55 01  enter firmware download"}},
        {cat({{0x1C, 0xAA, 0x1A}, text("ABCdef123456"), {0x1C, 0xAA, 0x19}}),
         {"1C AA 1A  machine number \"ABCdef123456\"", "1C AA 19  print machine number \"ABCdef123456\""}},
        {{0x1C, 0xAA, 0x11, 0x01}, {"1C AA 11 01  black mark on"}},
        {{0x1C, 0xAA, 0x11, 0x00}, {"1C AA 11 00  black mark off"}},
        {{0x1C, 0xAA, 0x12, 0x38, 0x02}, {"1C AA 12 38 02  black mark distance between marks 568 units (99.97 mm)"}},
        {{0x1C, 0xAA, 0x13, 0x99, 0x00}, {"1C AA 13 99 00  black mark mark to print head 153 units (26.93 mm)"}},
        {{0x1C, 0xAA, 0x14, 0xF4, 0x00}, {"1C AA 14 F4 00  black mark cut position 244 units (42.94 mm)"}},
        {{0x1C, 0xAA, 0x16, 0x04}, {"1C AA 16 04  drive carriage (04)"}},
        {{0x1C, 0xAA, 0x17, 0x02, 0x55}, {"1C AA 17 02 55  drive paper feed (02 55)"}},
        {{0x1C, 0xAA, 0x18, 0x01, 0x00}, {"1C AA 18 01 00  drive pins (01 00)"}},
        {{0x1C, 0xAA, 0x22, 0x05}, {"1C AA 22 05  serial baud index 5 (38400 baud)"}},
        {{0x1C, 0xAA, 0x22, 0x00}, {"1C AA 22 00  serial baud index 0 (1200 baud)"}},
        {{0x1C, 0xAA, 0x22, 0xFF}, {"1C AA 22 FF  serial baud index 255 (out of range)"}},
        {{0x1C, 0xAA, 0x23, 0x01}, {"1C AA 23 01  cutter on"}},
        {{0x1C, 0xAA, 0x23, 0x00}, {"1C AA 23 00  cutter off"}},
        {cat({{0x1B, 0x1D, 0x00, 0x01}, text("zxtkpj")}), {"1B 1D 00 01  store string \"zxtkpj\" (7A 78 74 6B 70 6A)"}},
        {{0x1B, 0x1D, 0x00, 0x02}, {"1B 1D 00 02  read stored string"}},
        {{0x1C, 0xAA, 0x19}, {"1C AA 19  print machine number \"\""}},
        {{0x1C, 0xAA, 0x0D}, {"1C AA 0D  font download preamble"}},
        // The black-mark test line in both its forms.
        {{0x1B, 0x40, 0x1D, 0xCB, 'M', ' ', 't', 'e', 's', 't', 0x0A},
         {"1B 40  ESC @ initialise", "1D CB  black-mark feed (form 1D CB)", "TEXT \"M test\"", "LF"}},
        {{0x1D, 0x0C, 'B', 'M', ' ', 't', 'e', 's', 't', 0x0A},
         {"1D 0C  GS FF black-mark feed (form GS FF 1D 0C)", "TEXT \"BM test\""}},
        // 测试 in GBK, then Latin mode, where the same bytes are single characters.
        {{0xB2, 0xE2, 0xCA, 0xD4, 0x41, 0x0A, 0x1C, 0x2E, 0x41, 0xB2, 0x0A},
         {"TEXT \"测试A\"", "LF", "1C 2E  FS . Chinese mode off", "TEXT \"A\xC2\xB2\"", "LF"}},
        // The Chinese test's zone 5 (A8 40 …); a lone lead byte at the end.
        {{0xA8, 0x40, 0xA8, 0x41, 0x0A}, {"TEXT \"ˊˋ\""}},
        // What does not decode is a '?' and, after the text, its bytes: a lone
        // lead byte, a lead byte before one that is no trail, a code GBK lacks.
        {{0x41, 0xB2}, {"TEXT \"A?\" (undecodable: B2)"}},
        {{'?', 0x81, 0x20, 0xA8, 0x7F, 0xB2, 0xE2}, {"TEXT \"?? ?测\" (undecodable: 81, A8 7F)"}},
        // Real-time status requests, answered as a ready printer.
        {{0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x03, 0x10, 0x04, 0x04},
         {"10 04 01  DLE EOT 1 (printer status) -> 16", "10 04 02  DLE EOT 2 (offline cause) -> 12",
          "10 04 03  DLE EOT 3 (error cause) -> 12", "10 04 04  DLE EOT 4 (paper roll sensor) -> 12"}},
        {{0x10, 0x04, 0x05}, {"unknown 10 04 05"}},
        // Unknown commands lose only themselves.
        {{0x1B, 0x7E}, {"unknown 1B 7E"}},
        {{0x1C, 0x99}, {"unknown 1C 99"}},
        {{0x1C, 0xAA, 0x99}, {"unknown 1C AA 99"}},
        {{0x1C, 0xAA, 0x11, 0x02}, {"unknown 1C AA 11 02"}},
        {{0x1C, 0xAA, 0x55, 0x02}, {"unknown 1C AA 55 02"}},
        {{0x1D, 0x99}, {"unknown 1D 99"}},
        {{0x1D, 0x56, 0x07}, {"unknown 1D 56 07"}},
        {{0x1B, 0x1D, 0x00, 0x07}, {"unknown 1B 1D 00 07"}},
        {{0x1B, 0x1D, 0x01, 0x1B, 0x40}, {"unknown 1B 1D", "unknown 01", "1B 40  ESC @ initialise"}},
        {{0x1B, 0x2A, 0x05}, {"unknown 1B 2A 05"}},
        {{0x1B, 0x2A, 0x07}, {"unknown 1B 2A 07"}},
        {{0x05}, {"unknown 05"}},
        // Cut short by the end of the input: logged there.
        {{0x1B}, {"truncated 1B"}},
        {{0x1B, 0x21}, {"truncated 1B 21"}},
        {{0x1B, 0x2A, 0x00, 0xD2, 0x00, 0xFF, 0xFF}, {"truncated 1B 2A 00 D2 00 FF FF"}},
        {{0x1C, 0xAA, 0x1A, 0x31, 0x32}, {"truncated 1C AA 1A 31 32"}},
        {{0x1B, 0x1D, 0x00, 0x01, 0x7A}, {"truncated 1B 1D 00 01 7A"}},
        {{0x1C, 0xAA, 0x12, 0x01}, {"truncated 1C AA 12 01"}},
        {{0x1D, 0x56, 0x66}, {"truncated 1D 56 66"}},
        {{0x10, 0x04}, {"truncated 10 04"}},
        {{0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x02, 0x00, 0xFF}, {"truncated 1D 76 30 00 01 00 02 00 FF"}},
    };
    const Bytes after{0x1C, 0xAA, 0x23, 0x01, 0x1B, 0x40};
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::hexBytes(c.bytes));
        Printer p;
        p.feed(c.bytes);
        p.flush();
        const auto lines = p.transcript();
        ASSERT_GE(lines.size(), c.lines.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + std::ptrdiff_t(c.lines.size())), c.lines);
        // Each unknown or truncated command counts once.
        const auto odd = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("unknown", 0) == 0 || l.rfind("truncated", 0) == 0;
        });
        EXPECT_EQ(p.state().unknownCommands, uint64_t(odd));
        if (c.lines.back().rfind("truncated", 0) == 0) {
            EXPECT_EQ(lines.size(), c.lines.size());
        }
        if (c.lines.front().rfind("unknown", 0) == 0) {
            // What follows an unknown command is decoded as if it were not there.
            auto want = lines;
            want.insert(want.end(), {"1C AA 23 01  cutter on", "1B 40  ESC @ initialise"});
            EXPECT_EQ(decode(cat({c.bytes, after})), want);
        }
    }
}

TEST(Decoder, CommandsChangeTheState)
{
    Printer p;
    p.feed(cat({{0x1B, 0x21, 0xB1, 0x1C, 0x21, 0x8C, 0x1B, 0x20, 0x02, 0x1B, 0x33, 0x10, 0x1B, 0x55, 0x01},
                {0x1C, 0xAA, 0x1A},
                text("ABCdef123456"),
                {0x1C, 0xAA, 0x11, 0x01, 0x1C, 0xAA, 0x12, 0x38, 0x02, 0x1C, 0xAA, 0x13, 0xEF, 0xFF},
                {0x1C, 0xAA, 0x14, 0xF4, 0x00, 0x1C, 0xAA, 0x23, 0x00, 0x1C, 0xAA, 0x22, 0x03},
                {0x1B, 0x1D, 0x00, 0x01},
                text("zxtkpj"),
                {0x1B, 0x70, 0x00, 0x33, 0x00, 0x1B, 0x69, 0x1B, 0x6D, 0x1D, 0x56, 0x66, 0x01},
                {0x1C, 0xAA, 0x16, 0x04, 0x1C, 0xAA, 0x17, 0x02, 0x55, 0x1C, 0xAA, 0x18, 0x01, 0x00},
                {0x1C, 0x2E}}));
    p.flush();
    const sim::PrinterState s = p.state();
    // The numbers in the order the commands set them.
    EXPECT_EQ((std::vector<long>{s.printMode, s.chineseModeByte, s.chineseMode, s.charSpacing, s.lineSpacing,
                                 s.unidirectional, s.blackMark, s.markDistance, s.headOffset, s.cutOffset,
                                 s.cutter.value_or(true), s.baudIndex, s.carriageDrives, s.paperFeedDrives,
                                 s.pinDrives, long(s.unknownCommands)}),
              (std::vector<long>{0xB1, 0x8C, 0, 2, 16, 1, 1, 568, 0xFFEF, 244, 0, 3, 1, 1, 1, 0}));
    EXPECT_EQ(s.machineNumber, "ABCdef123456");
    EXPECT_TRUE(s.storedStringSet);
    EXPECT_EQ(std::string(s.storedString.begin(), s.storedString.end()), "zxtkpj");
    ASSERT_EQ(s.drawerKicks.size(), 1u);
    EXPECT_EQ(s.drawerKicks[0].onTime, 0x33);
    ASSERT_EQ(s.cuts.size(), 3u);
    EXPECT_EQ((std::vector<bool>{s.cuts[0].full, s.cuts[1].full}), (std::vector<bool>{true, false}));
    EXPECT_EQ(s.cuts[2].command, "GS V 66 01");
    const QJsonObject j = parseState(p);
    EXPECT_EQ(j["machineNumber"].toString(), "ABCdef123456");
    const QJsonObject mark = j["blackMark"].toObject();
    EXPECT_EQ(mark["headOffset"]["units"].toInt(), 65519);
    EXPECT_EQ(mark["headOffset"]["mm"].toDouble(), 11531.34);
    EXPECT_EQ(mark["cutOffset"]["mm"].toDouble(), 42.94);
    EXPECT_EQ(mark["markDistance"]["mm"].toDouble(), 99.97);
    EXPECT_EQ(j["storedString"].toString(), "7A 78 74 6B 70 6A");
    EXPECT_EQ(j["baud"].toInt(), 9600);
    EXPECT_EQ(j["cutter"], QJsonValue(false));
    EXPECT_EQ(j["cuts"][2]["command"].toString(), "GS V 66 01");
    EXPECT_EQ(j["drawerKicks"][0]["on"].toInt(), 0x33);

    // ESC @ restores the print modes and Chinese mode, keeps the settings.
    p.feed(Bytes{0x1B, 0x40});
    const sim::PrinterState r = p.state();
    EXPECT_EQ((std::vector<long>{r.printMode, r.chineseMode, r.chineseModeByte, r.lineSpacing, r.markDistance}),
              (std::vector<long>{0, 1, 0, 30, 568}));
    EXPECT_EQ(r.machineNumber, "ABCdef123456");
}

// The toolbox's commands in state.json, and GS I answered with the IDs set.
TEST(Decoder, ToolboxCommandsInTheStateAndTheIdAnswers)
{
    struct Case {
        uint8_t model, type, version;
    } cases[] = {{0x20, 0x03, 0x10}, {0x00, 0x00, 0xFF}, {0x58, 0x02, 0x21}};
    for (const Case& c : cases) {
        sim::PrinterOptions o;
        o.modelId = c.model;
        o.typeId = c.type;
        o.versionId = c.version;
        Printer p(o);
        p.feed(Bytes{0x1D, 0x49, 0x03, 0x1D, 0x49, 0x01, 0x1D, 0x49, 0x32});
        Bytes got;
        for (const sim::Answer& a : p.takeAnswers())
            got.insert(got.end(), a.bytes.begin(), a.bytes.end());
        EXPECT_EQ(got, (Bytes{c.version, c.model, c.type}));
    }

    Printer p;
    EXPECT_EQ(parseState(p)["codeTable"], QJsonValue(QJsonValue::Null));
    p.feed(Bytes{0x1B, 0x70, 0x00, 0x01, 0xFF, 0x1B, 0x70, 0x31, 0x32, 0x64, 0x1B, 0x70, 0x07, 0x00, 0x00, 0x1B, 0x74, 0x12});
    const QJsonObject j = parseState(p);
    EXPECT_EQ(j["codeTable"].toObject(), (QJsonObject{{"number", 18}, {"name", "PC852"}}));
    const QJsonArray kicks = j["drawerKicks"].toArray();
    ASSERT_EQ(kicks.size(), 3);
    const QJsonObject want[] = {{{"connector", 0}, {"on", 1}, {"off", 255}, {"pin", 2}, {"onMs", 2}, {"offMs", 510}},
                                {{"connector", 49}, {"on", 50}, {"off", 100}, {"pin", 5}, {"onMs", 100}, {"offMs", 200}},
                                {{"connector", 7}, {"on", 0}, {"off", 0}, {"pin", QJsonValue()}, {"onMs", 0}, {"offMs", 0}}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(kicks[i].toObject(), want[i]) << i;
    p.feed(Bytes{0x1B, 0x40}); // back to the power-on table
    EXPECT_EQ(parseState(p)["codeTable"], QJsonValue(QJsonValue::Null));

    // Every drawn table has a character for each of 80-FF.
    for (int n = 0; n < 256; ++n) {
        const sim::CodeTable* t = sim::codeTable(n);
        EXPECT_TRUE(!t || !t->upper || std::char_traits<char16_t>::length(t->upper) == 128) << t->name;
    }
}

// A stream of known commands, then random streams that lean on the command
// bytes so that commands start often: whole or in any chunks, the same
// transcript and state, every byte counted, no crash. One fixed clock, so a
// download's quiet time never ends one way of feeding and not the other.
TEST(Decoder, AnyChunkingGivesTheSameResult)
{
    std::vector<Bytes> streams{cat({{0x0A, 0x1B, 0x40, 0x1B, 0x4A, 0x20, 0x1C, 0x21, 0x0F, 0x09},
                                    {0xB2, 0xE2, 0xCA, 0xD4, 0x20, 0xD1, 0xF9, 0xC0, 0xFD, 0x0A},
                                    {0x1B, 0x2A, 0x00, 0x04, 0x00, 0xFF, 0x81, 0x81, 0xFF, 0x0D},
                                    {0x1C, 0xAA, 0x1A},
                                    text("000011112222"),
                                    {0x1B, 0x1D, 0x00, 0x01},
                                    text("zxtkpj"),
                                    {0x1B, 0x1D, 0x00, 0x02, 0x1C, 0x2E},
                                    text("HHHH"),
                                    {0x0A, 0x1B, 0x69},
                                    {0x1D, 0x76, 0x30, 0x01, 0x01, 0x00, 0x03, 0x00, 0x80, 0x40, 0x20},
                                    {0x1B, 0x74, 0x10, 0x80, 0xE9, 0x0A, 0x1D, 0x49, 0x02}})};
    std::mt19937 rng(12345);
    for (int i = 0; i < 300; ++i) {
        Bytes& b = streams.emplace_back(rng() % 600);
        for (uint8_t& x : b) {
            const unsigned r = rng() % 10;
            x = r == 0 ? 0x1B : r == 1 ? 0x1C : r == 2 ? 0x1D : r == 3 ? 0xAA : uint8_t(rng());
        }
    }
    const auto t0 = sim::Clock::now();
    for (size_t i = 0; i < streams.size(); ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        const Bytes& stream = streams[i];
        Printer whole;
        whole.feed(stream, t0);
        whole.flush();
        EXPECT_EQ(whole.state().bytesReceived, stream.size());
        if (i == 0) {
            EXPECT_EQ(whole.state().unknownCommands, 0u);
        }
        for (int round = 0; round < (i == 0 ? 50 : 2); ++round) {
            Printer p;
            for (size_t at = 0, n = 0; at < stream.size(); at += n) {
                n = std::min(stream.size() - at, size_t(rng() % 5 + 1));
                p.feed(std::span<const uint8_t>(stream.data() + at, n), t0);
            }
            p.flush();
            ASSERT_EQ(p.transcript(), whole.transcript()) << "round " << round;
            ASSERT_EQ(p.stateJson(), whole.stateJson()) << "round " << round;
        }
    }
}

TEST(Decoder, DownloadLengthAndDigest)
{
    struct Case {
        const char* kind;
        Bytes start;
        bool awaitFirmware; // switched on for an update: takes firmware at once
    } cases[] = {
        {"font", {0x1C, 0xAA, 0x0D}, false},
        {"firmware", {0x1C, 0xAA, 0x55, 0x01}, false},
        {"firmware", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::hexBytes(c.start));
        // "abc" has a well-known digest.
        sim::PrinterOptions o;
        o.awaitFirmware = c.awaitFirmware;
        Printer p(o);
        p.feed(cat({c.start, text("abc")}));
        p.flush();
        ASSERT_EQ(p.state().downloads.size(), 1u);
        EXPECT_FALSE(p.state().downloads[0].open);
        EXPECT_EQ(p.downloadData(0), text("abc"));
        const QJsonObject d = parseState(p)["downloads"][0].toObject();
        EXPECT_EQ(d["kind"].toString(), c.kind);
        EXPECT_EQ(d["length"].toInt(), 3);
        EXPECT_EQ(d["sha256"].toString(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(p.countLines(std::string("download ") + c.kind + " ended (end of input): 3 bytes"), 1u);
        // The download is not printed; what follows it is.
        EXPECT_EQ(p.countLines("TEXT"), 0u);
        p.feed(text("x\n"));
        EXPECT_EQ(p.countLines("TEXT"), 1u);
        // A download that got no byte is not listed: after a reset that
        // switches it on again, or after the command alone.
        p.reset();
        if (!c.awaitFirmware)
            p.feed(c.start);
        p.flush();
        EXPECT_EQ(parseState(p)["downloads"].toArray().size(), 0);
        EXPECT_EQ(p.countLines(" ended ("), 0u);
    }
}

TEST(Decoder, DownloadEndsAfterAQuietLineAndCommandsFollow)
{
    sim::PrinterOptions o;
    o.downloadQuiet = std::chrono::milliseconds(500);
    Printer p(o);
    const auto t0 = sim::Clock::now();
    p.feed(Bytes{0x1C, 0xAA, 0x55, 0x01}, t0);
    // A pause before the first data byte does not end the session.
    p.tick(t0 + std::chrono::seconds(5));
    p.feed(Bytes{1, 2, 3}, t0 + std::chrono::seconds(5));
    p.feed(Bytes{4, 5}, t0 + std::chrono::milliseconds(5400));
    EXPECT_TRUE(p.state().downloads[0].open);
    p.tick(t0 + std::chrono::milliseconds(5900));
    EXPECT_FALSE(p.state().downloads[0].open);
    EXPECT_EQ(p.state().downloads[0].length, 5u);
    p.feed(Bytes{0x1C, 0xAA, 0x23, 0x01}, t0 + std::chrono::seconds(7));
    EXPECT_EQ(p.state().cutter, true);
}

TEST(Decoder, ReadStringAnswerVariants)
{
    struct Case {
        sim::AnswerMode mode;
        Bytes expected;
        int delay;
    } cases[] = {
        // The right and the short answer are read back by the test dialog.
        {sim::AnswerMode::Wrong, {0x85, 0x87, 0x8B, 0x94, 0x8F, 0x95}, 0},
        {sim::AnswerMode::Late, text("zxtkpj"), 250},
        {sim::AnswerMode::Silent, {}, -1}, // no answer at all
    };
    for (const Case& c : cases) {
        sim::PrinterOptions o;
        o.readStringAnswer.mode = c.mode;
        o.readStringAnswer.lateMs = 250;
        Printer p(o);
        p.feed(cat({{0x1B, 0x1D, 0x00, 0x01}, text("zxtkpj"), {0x1B, 0x1D, 0x00, 0x02}}));
        const auto answers = p.takeAnswers();
        EXPECT_EQ(p.countLines("answer: none (silent)"), c.delay < 0 ? 1u : 0u);
        ASSERT_EQ(answers.size(), c.delay < 0 ? 0u : 1u);
        if (c.delay >= 0) {
            EXPECT_EQ(answers[0].bytes, c.expected);
            EXPECT_EQ(answers[0].delayMs, c.delay);
        }
    }
}

// DLE EOT n in each condition, alone and together: the answer bytes, and a
// change while it runs applies to the next request.
TEST(Decoder, StatusAnswersFollowTheConditions)
{
    struct Case {
        unsigned status;
        std::array<uint8_t, 4> answers; // to DLE EOT 1 ... 4
        std::vector<std::string> names;
    } cases[] = {
        {0, {0x16, 0x12, 0x12, 0x12}, {}},
        {sim::kPaperOut, {0x1E, 0x32, 0x12, 0x7E}, {"paper-out"}},
        {sim::kPaperLow, {0x16, 0x12, 0x12, 0x1E}, {"paper-low"}},
        {sim::kCoverOpen, {0x1E, 0x16, 0x12, 0x12}, {"cover-open"}},
        {sim::kOffline, {0x1E, 0x12, 0x12, 0x12}, {"offline"}},
        {sim::kCutterError, {0x1E, 0x52, 0x1A, 0x12}, {"cutter-error"}},
        {sim::kPaperLow | sim::kCoverOpen, {0x1E, 0x16, 0x12, 0x1E}, {"paper-low", "cover-open"}},
    };
    const Bytes requests{0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x03, 0x10, 0x04, 0x04};
    Printer running; // one printer whose conditions change between requests
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.names));
        sim::PrinterOptions o;
        o.status = c.status;
        Printer p(o);
        running.setStatus(c.status);
        for (Printer* printer : {&p, &running}) {
            printer->feed(requests);
            std::vector<uint8_t> got;
            for (const sim::Answer& a : printer->takeAnswers()) {
                EXPECT_EQ(a.delayMs, 0);
                got.insert(got.end(), a.bytes.begin(), a.bytes.end());
            }
            EXPECT_EQ(got, std::vector<uint8_t>(c.answers.begin(), c.answers.end()));
            EXPECT_EQ(printer->transcript().back(), "10 04 04  DLE EOT 4 (paper roll sensor) -> " + sim::hex2(c.answers[3]));
        }
        std::vector<std::string> names;
        for (const auto& v : parseState(p)["status"].toArray())
            names.push_back(v.toString().toStdString());
        EXPECT_EQ(names, c.names);
        running.reset(); // keeps the conditions
        EXPECT_EQ(running.state().status, c.status);
    }
    // Every bit a condition sets has its meaning in the table of bits.
    for (const sim::StatusConditionRow& row : sim::kStatusConditions)
        for (int n = 1; n <= 4; ++n) {
            uint8_t described = 0;
            for (const sim::StatusBit& bit : sim::kStatusBits)
                described |= bit.request == n ? bit.mask : 0;
            EXPECT_EQ(row.bits[size_t(n - 1)] & ~described, 0) << row.name << ", request " << n;
        }
}

// A long session holds bounded memory: each record stays within its cap
// while the counts and digests cover every byte. The paper keeps its last
// part, so the end of the stream is on it.
TEST(Decoder, LongSessionsStayWithinTheCaps)
{
    sim::PrinterOptions o;
    o.keepReceived = 1 << 20;
    Printer p(o);
    const auto t0 = sim::Clock::now();
    const Bytes pass = cat({Bytes(200, 'H'), {0x0A, 0x1B, 0x69, 0x1B, 0x70, 0x00, 0x01, 0x01}});
    uint64_t fed = 0;
    const int passes = int(sim::PrinterState::kMaxListed) + 500;
    for (int i = 0; i < passes; ++i) {
        p.feed(pass, t0);
        fed += pass.size();
    }
    // Two downloads, larger together than what is kept of them.
    const Bytes chunk(1 << 20, 0x5A);
    const size_t mib = sim::Downloads::kMaxKeptBytes >> 20;
    for (int d = 0; d < 2; ++d) {
        p.feed(Bytes{0x1C, 0xAA, 0x55, 0x01}, t0);
        for (size_t i = 0; i < mib; ++i)
            p.feed(chunk, t0);
        p.flush();
        fed += 4 + mib * chunk.size();
    }
    p.feed(cat({{0x1D, 0x0C}, text("END"), {0x0A}}), t0);
    fed += 6;
    p.flush();

    const sim::PrinterState s = p.state();
    EXPECT_EQ(s.bytesReceived, fed);
    EXPECT_EQ(p.received().size(), o.keepReceived);
    EXPECT_EQ(s.cuts.size(), sim::PrinterState::kMaxListed);
    EXPECT_EQ(s.drawerKicks.size(), sim::PrinterState::kMaxListed);
    EXPECT_EQ((std::vector<uint64_t>{s.cutCount, s.drawerKickCount, uint64_t(s.blackMarkFeeds)}),
              (std::vector<uint64_t>{uint64_t(passes), uint64_t(passes), 1}));
    ASSERT_EQ(s.downloads.size(), 2u);
    EXPECT_EQ(s.downloads[1].length, sim::Downloads::kMaxKeptBytes);
    EXPECT_EQ(s.downloads[1].kept, sim::Downloads::kMaxKeptBytes);
    EXPECT_EQ(p.downloadData(1).size(), sim::Downloads::kMaxKeptBytes);
    EXPECT_EQ((std::vector<uint64_t>{s.downloads[0].length, s.downloads[0].kept}),
              (std::vector<uint64_t>{sim::Downloads::kMaxKeptBytes, 0}));
    EXPECT_TRUE(s.downloads[0].file.empty());
    EXPECT_EQ(s.downloads[0].sha256, s.downloads[1].sha256); // over every byte, kept or not
    EXPECT_LE(p.paperHeight(), sim::Paper::kMaxRows);
    // The paper's last rows are the last line, as a paper with it alone shows it.
    Printer end;
    end.feed(text("END\n"));
    const auto last = end.paperDots(), dots = p.paperDots();
    ASSERT_GE(dots.size(), last.size());
    EXPECT_TRUE(std::equal(last.begin(), last.end(), dots.end() - std::ptrdiff_t(last.size())));

    // The transcript keeps its first lines up to a number of lines and of bytes.
    for (const size_t length : {size_t(1), sim::Transcript::kMaxBytes / sim::Transcript::kMaxLines * 4}) {
        sim::Transcript t;
        for (size_t i = 0; i < sim::Transcript::kMaxLines + 10; ++i)
            t.add(std::string(length, 'x'));
        EXPECT_LE(t.lines().size(), sim::Transcript::kMaxLines);
        EXPECT_LE(t.bytes(), sim::Transcript::kMaxBytes);
        EXPECT_EQ(t.lines().size() + t.dropped(), sim::Transcript::kMaxLines + 10);
        EXPECT_EQ(t.text().substr(t.text().rfind('(')), "(" + std::to_string(t.dropped()) + " more lines not kept)\n");
    }
}
