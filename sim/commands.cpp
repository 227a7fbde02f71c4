// The printer's command table: every command it knows, and what each does to
// the state, the paper, the transcript, the downloads and the answers.
#include "sim/decoder.h"

#include "sim/codetables.h"
#include "sim/status.h"

#include "platform/win32.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace sim {

namespace {

// A raster image's data beyond this is skipped, not kept: 72 bytes (576
// dots) by 65,535 rows is 4.7 MB.
constexpr uint64_t kMaxRasterBytes = uint64_t(16) << 20;
std::string mm(int units)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", units * 0.176);
    return b;
}

std::string describeMode(uint8_t n)
{
    std::string s = (n & 0x01) ? "font B" : "font A";
    if (n & 0x08) s += ", bold";
    if (n & 0x10) s += ", double height";
    if (n & 0x20) s += ", double width";
    if (n & 0x80) s += ", underline";
    return s;
}

std::string describeChineseMode(uint8_t n)
{
    std::string s;
    auto add = [&s](const char* t) { s += s.empty() ? t : std::string(", ") + t; };
    if (n & 0x04) add("double width");
    if (n & 0x08) add("double height");
    if (n & 0x80) add("underline");
    return s.empty() ? "normal" : s;
}

} // namespace

// ---------------------------------------------------------------- commands
// Every command the printer knows is one row: its leading bytes, how long it
// is, its name in the transcript, and what it does. A family row says how
// many bytes an unknown member of the family takes, so the decoder sets
// aside exactly that much and goes on with the next command.

namespace {

using Bytes = std::span<const uint8_t>;

// ESC * m nL nH d1..dk: k = columns x bytes per column; 0 while nL nH are missing.
size_t bitImageLength(const uint8_t* p, size_t n)
{
    if (n < 5)
        return 0;
    const size_t bytesPerColumn = (p[2] == 32 || p[2] == 33) ? 3 : 1;
    return 5 + (size_t(p[3]) | size_t(p[4]) << 8) * bytesPerColumn;
}

// GS v 0 m xL xH yL yH d1..dk: k = bytes per row x rows; only the header
// when k is more than is kept (the decoder skips the data).
size_t rasterLength(const uint8_t* p, size_t n)
{
    if (n < 8)
        return 0;
    const uint64_t k = uint64_t(size_t(p[4]) | size_t(p[5]) << 8) * (size_t(p[6]) | size_t(p[7]) << 8);
    return k > kMaxRasterBytes ? 8 : 8 + size_t(k);
}

// Whether the bytes at hand agree with `prefix` as far as both go.
bool prefixOf(std::string_view prefix, const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < prefix.size() && i < n; ++i)
        if (uint8_t(prefix[i]) != p[i])
            return false;
    return true;
}

} // namespace

struct Decoder::Rows {
    struct CommandRow {
        std::string_view prefix;
        size_t length;                              // fixed total length; 0: lengthOf decides
        size_t (*lengthOf)(const uint8_t*, size_t); // 0 while more bytes are needed
        size_t logged;                              // bytes shown in the transcript; 0: all
        const char* name;
        void (*run)(Decoder& d, const CommandRow& row, Bytes cmd);
    };

    struct FamilyRow {
        std::string_view prefix;
        size_t unknownLength;
    };

    static void logRow(Decoder& d, const CommandRow& row, Bytes cmd, const std::string& detail = {})
    {
        d.logCmd(row.logged ? cmd.first(row.logged) : cmd, row.name + detail);
    }

    static void bitImage(Decoder& d, const CommandRow& row, Bytes cmd)
    {
        const size_t cols = size_t(cmd[3]) | size_t(cmd[4]) << 8;
        logRow(d, row, cmd, ", " + std::to_string(cols) + " columns");
        d.paper.addImage(std::vector<uint8_t>(cmd.begin() + 5, cmd.end()), cmd[2] >= 32 ? 24 : 8);
    }

    static void raster(Decoder& d, const CommandRow& row, Bytes cmd)
    {
        const uint8_t m = cmd[3];
        const int bytesWide = int(cmd[4]) | int(cmd[5]) << 8, rows = int(cmd[6]) | int(cmd[7]) << 8;
        const uint64_t k = uint64_t(bytesWide) * uint64_t(rows);
        if (!(m <= 3 || (m >= 48 && m <= 51))) {
            d.unknown(cmd.first(8));
            d.skip_ = k - (cmd.size() - 8);
            return;
        }
        static constexpr const char* kModes[] = {"normal", "double width", "double height", "quadruple"};
        std::string what = ", " + std::to_string(bytesWide * 8) + " x " + std::to_string(rows) + " dots, " + kModes[m & 3];
        if (cmd.size() == 8 && k > 0) {
            d.skip_ = k;
            logRow(d, row, cmd, what + ": " + std::to_string(k) + " bytes, too large to keep, skipped");
            return;
        }
        logRow(d, row, cmd, what);
        d.paper.addRaster(cmd.subspan(8), bytesWide, rows, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1);
    }

    // GS I n: one byte that names the printer.
    static void printerId(Decoder& d, const CommandRow& row, Bytes cmd)
    {
        const int n = cmd[2] > 3 ? cmd[2] - 48 : cmd[2];
        static constexpr const char* kNames[] = {"model", "type", "version"};
        const uint8_t ids[] = {d.options.modelId, d.options.typeId, d.options.versionId};
        const uint8_t b = ids[n - 1];
        logRow(d, row, cmd, std::to_string(cmd[2]) + " (" + kNames[n - 1] + ") -> " + hex2(b));
        d.queueAnswer({{b}, 0});
    }

    static void blackMarkDistance(Decoder& d, const CommandRow& row, Bytes cmd, int& field, const char* what)
    {
        const int units = int(cmd[3]) | int(cmd[4]) << 8;
        field = units;
        logRow(d, row, cmd, " " + std::to_string(units) + " units (" + mm(units) + " mm)");
        d.paper.note(std::string(what) + " " + mm(units) + " mm");
    }

    static void setting(Decoder& d, const CommandRow& row, Bytes cmd, bool on, const char* what)
    {
        logRow(d, row, cmd);
        d.paper.note(std::string(what) + (on ? " on" : " off"));
    }

    static void gsCutAfterFeed(Decoder& d, const CommandRow& row, Bytes cmd)
    {
        // 41/61/66/67: full; 42/62/68: partial. 66 is the black-mark page's
        // "cut after printing", taken as a full cut.
        const uint8_t m = cmd[2];
        const bool full = m == 65 || m == 97 || m == 102 || m == 103;
        logRow(d, row, cmd, std::string(full ? "full" : "partial") + " cut after feeding " +
                                std::to_string(cmd[3]) + " units (form " + hex2(m) + ")");
        d.paper.printLine(cmd[3], false);
        d.addCut(full, "GS V " + hex2(m) + " " + hex2(cmd[3]));
    }

    static void gsCut(Decoder& d, const CommandRow& row, Bytes cmd)
    {
        const bool full = (cmd[2] & 1) == 0;
        logRow(d, row, cmd, full ? "full cut" : "partial cut");
        d.addCut(full, "GS V " + hex2(cmd[2]));
    }

    // Real-time status: one byte back, on every line that can carry it.
    static void status(Decoder& d, const CommandRow& row, Bytes cmd)
    {
        const uint8_t b = statusByte(cmd[2], d.state.status);
        logRow(d, row, cmd, std::to_string(cmd[2]) + " (" + statusRequestName(cmd[2]) + ") -> " + hex2(b));
        d.queueAnswer({{b}, 0});
    }

    static void blackMarkFeed(Decoder& d, const CommandRow& row, Bytes cmd)
    {
        ++d.state.blackMarkFeeds;
        logRow(d, row, cmd);
        d.paper.printLine(0, false);
        d.paper.note("feed to black mark");
    }

    static void drive(Decoder& d, const CommandRow& row, Bytes cmd, int& counter, const char* note)
    {
        ++counter;
        logRow(d, row, cmd, " (" + hexBytes(cmd.subspan(3)) + ")");
        d.paper.note(note);
    }

    static const CommandRow kCommands[];
    static const FamilyRow kFamilies[];
};

// A row of fixed length whose action is written in place.
#define ROW(prefix, length, logged, name, ...)                                                               \
    CommandRow{std::string_view(prefix, sizeof(prefix) - 1), length, nullptr, logged, name,                   \
               []([[maybe_unused]] Decoder& d, [[maybe_unused]] const CommandRow& row,                             \
                  [[maybe_unused]] Bytes cmd) { __VA_ARGS__ }}
#define SV(prefix) std::string_view(prefix, sizeof(prefix) - 1)

const Decoder::Rows::CommandRow Decoder::Rows::kCommands[] = {
    ROW("\x0A", 1, 0, "LF", { d.log("LF"); d.paper.printLine(d.state.lineSpacing, true); }),
    ROW("\x0D", 1, 0, "CR", { d.log("CR"); d.paper.printLine(0, false); }),
    ROW("\x09", 1, 0, "HT", {
        d.log("HT");
        const GlyphStyle s = d.latinStyle();
        d.paper.tab(8 * s.width * (s.doubleWidth ? 2 : 1));
    }),
    ROW("\x00", 1, 0, "NUL", { d.log("NUL"); }),

    // ESC/POS
    ROW("\x1B\x40", 2, 0, "ESC @ initialise", { logRow(d, row, cmd); d.initialise(); }),
    ROW("\x1B\x21", 3, 0, "ESC ! print mode: ", {
        d.state.printMode = cmd[2];
        logRow(d, row, cmd, describeMode(cmd[2]));
    }),
    CommandRow{SV("\x1B\x2A\x00"), 0, bitImageLength, 5, "ESC * bit image: 8-dot single density", bitImage},
    CommandRow{SV("\x1B\x2A\x01"), 0, bitImageLength, 5, "ESC * bit image: 8-dot double density", bitImage},
    CommandRow{SV("\x1B\x2A\x20"), 0, bitImageLength, 5, "ESC * bit image: 24-dot single density", bitImage},
    CommandRow{SV("\x1B\x2A\x21"), 0, bitImageLength, 5, "ESC * bit image: 24-dot double density", bitImage},
    ROW("\x1B\x4A", 3, 0, "ESC J feed ", {
        logRow(d, row, cmd, std::to_string(cmd[2]) + " units");
        d.paper.printLine(cmd[2], false);
    }),
    ROW("\x1B\x55", 3, 0, "ESC U unidirectional ", {
        d.state.unidirectional = cmd[2] & 1;
        logRow(d, row, cmd, d.state.unidirectional ? "on" : "off");
    }),
    ROW("\x1B\x20", 3, 0, "ESC SP character spacing ", {
        d.state.charSpacing = cmd[2];
        logRow(d, row, cmd, std::to_string(cmd[2]) + " dots");
    }),
    ROW("\x1B\x33", 3, 0, "ESC 3 line spacing ", {
        d.state.lineSpacing = cmd[2];
        logRow(d, row, cmd, std::to_string(cmd[2]) + " units");
    }),
    ROW("\x1B\x32", 2, 0, "ESC 2 default line spacing", { d.state.lineSpacing = 30; logRow(d, row, cmd); }),
    ROW("\x1B\x69", 2, 0, "ESC i full cut", { logRow(d, row, cmd); d.addCut(true, "ESC i"); }),
    ROW("\x1B\x6D", 2, 0, "ESC m partial cut", { logRow(d, row, cmd); d.addCut(false, "ESC m"); }),
    ROW("\x1B\x70", 5, 0, "ESC p drawer kick: ", {
        d.addDrawerKick({cmd[2], cmd[3], cmd[4]});
        const int pin = drawerPin(cmd[2]);
        logRow(d, row, cmd, "connector " + std::to_string(cmd[2]) +
                                (pin ? " (pin " + std::to_string(pin) + ")" : std::string(" (no pin)")) + ", on " +
                                std::to_string(cmd[3]) + " (" + std::to_string(cmd[3] * 2) + " ms), off " +
                                std::to_string(cmd[4]) + " (" + std::to_string(cmd[4] * 2) + " ms)");
    }),
    ROW("\x1B\x74", 3, 0, "ESC t character table ", {
        d.state.codeTable = cmd[2];
        const CodeTable* t = codeTable(cmd[2]);
        const std::string name = t ? t->name : "unknown";
        logRow(d, row, cmd, std::to_string(cmd[2]) + " (" + name + (t && !t->upper ? ", not drawn" : "") + ")");
        d.paper.note("table " + std::to_string(cmd[2]) + " " + name);
    }),
    ROW("\x1C\x21", 3, 0, "FS ! Chinese print mode: ", {
        d.state.chineseModeByte = cmd[2];
        logRow(d, row, cmd, describeChineseMode(cmd[2]));
    }),
    ROW("\x1C\x2E", 2, 0, "FS . Chinese mode off", { d.state.chineseMode = false; logRow(d, row, cmd); }),
    ROW("\x1C\x26", 2, 0, "FS & Chinese mode on", { d.state.chineseMode = true; logRow(d, row, cmd); }),
    ROW("\x1D\x56\x00", 3, 0, "GS V ", gsCut(d, row, cmd);),
    ROW("\x1D\x56\x01", 3, 0, "GS V ", gsCut(d, row, cmd);),
    ROW("\x1D\x56\x30", 3, 0, "GS V ", gsCut(d, row, cmd);),
    ROW("\x1D\x56\x31", 3, 0, "GS V ", gsCut(d, row, cmd);),
    ROW("\x1D\x56\x41", 4, 0, "GS V ", gsCutAfterFeed(d, row, cmd);),
    ROW("\x1D\x56\x42", 4, 0, "GS V ", gsCutAfterFeed(d, row, cmd);),
    ROW("\x1D\x56\x61", 4, 0, "GS V ", gsCutAfterFeed(d, row, cmd);),
    ROW("\x1D\x56\x62", 4, 0, "GS V ", gsCutAfterFeed(d, row, cmd);),
    ROW("\x1D\x56\x66", 4, 0, "GS V ", gsCutAfterFeed(d, row, cmd);),
    ROW("\x1D\x56\x67", 4, 0, "GS V ", gsCutAfterFeed(d, row, cmd);),
    ROW("\x1D\x56\x68", 4, 0, "GS V ", gsCutAfterFeed(d, row, cmd);),
    ROW("\x10\x04\x01", 3, 0, "DLE EOT ", status(d, row, cmd);),
    ROW("\x10\x04\x02", 3, 0, "DLE EOT ", status(d, row, cmd);),
    ROW("\x10\x04\x03", 3, 0, "DLE EOT ", status(d, row, cmd);),
    ROW("\x10\x04\x04", 3, 0, "DLE EOT ", status(d, row, cmd);),
    ROW("\x1D\x49\x01", 3, 0, "GS I printer ID ", printerId(d, row, cmd);),
    ROW("\x1D\x49\x02", 3, 0, "GS I printer ID ", printerId(d, row, cmd);),
    ROW("\x1D\x49\x03", 3, 0, "GS I printer ID ", printerId(d, row, cmd);),
    ROW("\x1D\x49\x31", 3, 0, "GS I printer ID ", printerId(d, row, cmd);),
    ROW("\x1D\x49\x32", 3, 0, "GS I printer ID ", printerId(d, row, cmd);),
    ROW("\x1D\x49\x33", 3, 0, "GS I printer ID ", printerId(d, row, cmd);),
    CommandRow{SV("\x1D\x76\x30"), 0, rasterLength, 8, "GS v 0 raster image", raster},
    ROW("\x1D\x0C", 2, 0, "GS FF black-mark feed (form GS FF 1D 0C)", blackMarkFeed(d, row, cmd);),
    ROW("\x1D\xCB", 2, 0, "black-mark feed (form 1D CB)", blackMarkFeed(d, row, cmd);),

    // The maker's commands
    ROW("\x1B\x1D\x00\x01", 10, 4, "store string ", {
        std::copy(cmd.begin() + 4, cmd.end(), d.state.storedString.begin());
        d.state.storedStringSet = true;
        std::string s;
        for (uint8_t b : cmd.subspan(4))
            appendLatin(s, b);
        logRow(d, row, cmd, quoted(s) + " (" + hexBytes(cmd.subspan(4)) + ")");
    }),
    ROW("\x1B\x1D\x00\x02", 4, 0, "read stored string", {
        logRow(d, row, cmd);
        d.answer(std::vector<uint8_t>(d.state.storedString.begin(), d.state.storedString.end()),
                 d.options.readStringAnswer, 0, 5);
    }),
    ROW("\x1C\xAA\x0D", 3, 0, "font download preamble", {
        std::string at;
        if (d.line.baud)
            at = " at " + std::to_string(d.line.baud) + " baud" + (d.line.rtscts ? ", RTS/CTS" : ", no flow control");
        logRow(d, row, cmd, at);
        if (d.options.transport == Transport::Serial)
            d.answer({0x1C, 0xAA, 0xAA}, d.options.preambleAnswer, d.options.preambleAnswerDelayMs, 2);
        d.startDownload(DownloadKind::Font);
    }),
    ROW("\x1C\xAA\x55\x01", 4, 0, "enter firmware download", {
        logRow(d, row, cmd);
        d.startDownload(DownloadKind::Firmware);
    }),
    ROW("\x1C\xAA\x1A", 15, 3, "machine number ", {
        std::string num;
        for (uint8_t b : cmd.subspan(3))
            appendLatin(num, b);
        d.state.machineNumber = num;
        logRow(d, row, cmd, quoted(num));
        d.paper.note("machine number " + num);
    }),
    ROW("\x1C\xAA\x19", 3, 0, "print machine number ", {
        ++d.state.machineNumberPrints;
        logRow(d, row, cmd, quoted(d.state.machineNumber));
        for (const char* ch : {"机", "器", "号"})
            d.paper.addGlyph(ch, d.chineseStyle(), d.state.charSpacing);
        for (char ch : ": " + d.state.machineNumber)
            d.paper.addGlyph(std::string(1, ch), d.latinStyle(), d.state.charSpacing);
        d.paper.printLine(d.state.lineSpacing, true);
    }),
    ROW("\x1C\xAA\x11\x01", 4, 0, "black mark on", { d.state.blackMark = true; setting(d, row, cmd, true, "black mark"); }),
    ROW("\x1C\xAA\x11\x00", 4, 0, "black mark off", { d.state.blackMark = false; setting(d, row, cmd, false, "black mark"); }),
    ROW("\x1C\xAA\x12", 5, 0, "black mark distance between marks",
        blackMarkDistance(d, row, cmd, d.state.markDistance, "distance between marks");),
    ROW("\x1C\xAA\x13", 5, 0, "black mark mark to print head",
        blackMarkDistance(d, row, cmd, d.state.headOffset, "mark to print head");),
    ROW("\x1C\xAA\x14", 5, 0, "black mark cut position",
        blackMarkDistance(d, row, cmd, d.state.cutOffset, "cut position");),
    ROW("\x1C\xAA\x16", 4, 0, "drive carriage", {
        ++d.state.carriageDrives;
        logRow(d, row, cmd, " (" + hex2(cmd[3]) + ")");
        d.paper.note("carriage driven");
    }),
    ROW("\x1C\xAA\x17", 5, 0, "drive paper feed", drive(d, row, cmd, d.state.paperFeedDrives, "paper feed driven");),
    ROW("\x1C\xAA\x18", 5, 0, "drive pins", drive(d, row, cmd, d.state.pinDrives, "pins fired");),
    ROW("\x1C\xAA\x22", 4, 0, "serial baud index ", {
        d.state.baudIndex = cmd[3];
        const std::string rate = cmd[3] < 6 ? std::to_string(kBaudRates[cmd[3]]) + " baud" : "out of range";
        logRow(d, row, cmd, std::to_string(cmd[3]) + " (" + rate + ")");
        d.paper.note("baud " + rate);
    }),
    ROW("\x1C\xAA\x23\x01", 4, 0, "cutter on", { d.state.cutter = true; setting(d, row, cmd, true, "cutter"); }),
    ROW("\x1C\xAA\x23\x00", 4, 0, "cutter off", { d.state.cutter = false; setting(d, row, cmd, false, "cutter"); }),
};

#undef ROW

// Longest prefix wins. A control byte no row knows is set aside alone.
const Decoder::Rows::FamilyRow Decoder::Rows::kFamilies[] = {
    {SV("\x10\x04"), 3},         // DLE EOT n
    {SV("\x1B"), 2},             // ESC n
    {SV("\x1B\x2A"), 3},         // ESC * m
    {SV("\x1B\x1D\x00"), 4},     // the maker's ESC GS 00 n; ESC GS before any other byte: ESC n
    {SV("\x1C"), 2},             // FS n
    {SV("\x1C\xAA"), 3},         // the maker's FS AA n
    {SV("\x1C\xAA\x11"), 4},     // black mark with a value other than 0 or 1
    {SV("\x1C\xAA\x23"), 4},     // cutter with a value other than 0 or 1
    {SV("\x1C\xAA\x55"), 4},     // download state with a value other than 1
    {SV("\x1D"), 2},             // GS n
    {SV("\x1D\x56"), 3},         // GS V m
    {SV("\x1D\x49"), 3},         // GS I n
    {SV("\x1D\x76"), 3},         // GS v n
};

#undef SV

size_t Decoder::command(const uint8_t* p, size_t n, bool final)
{
    if (p[0] >= 0x20 && p[0] != 0x7F) {
        bool complete = false;
        const size_t len = textRunLength(p, n, state.chineseMode, final, &complete);
        if ((!complete && !final) || len == 0)
            return 0;
        return text(p, len);
    }

    // The row whose whole prefix is here; wait while a longer one may still come.
    const Rows::CommandRow* match = nullptr;
    for (const Rows::CommandRow& row : Rows::kCommands) {
        if (!prefixOf(row.prefix, p, n))
            continue;
        if (row.prefix.size() > n)
            return 0;
        if (match == nullptr || row.prefix.size() > match->prefix.size())
            match = &row;
    }
    if (match != nullptr) {
        const size_t length = match->length ? match->length : match->lengthOf(p, n);
        if (length == 0 || length > n)
            return 0;
        match->run(*this, *match, Bytes(p, length));
        return length;
    }

    size_t unknownLength = 1;
    size_t longest = 0;
    for (const Rows::FamilyRow& family : Rows::kFamilies) {
        if (!prefixOf(family.prefix, p, n))
            continue;
        if (family.prefix.size() > n)
            return 0;
        if (family.prefix.size() > longest) {
            longest = family.prefix.size();
            unknownLength = family.unknownLength;
        }
    }
    if (unknownLength > n)
        return 0;
    unknown(Bytes(p, unknownLength));
    return unknownLength;
}

} // namespace sim
