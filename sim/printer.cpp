// The virtual KQ printer: command decoder, printer state and answers.
#include "sim/printer.h"

#include "sim/paper.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace sim {

namespace {

constexpr size_t kMaxTextRun = 4096;   // a text run longer than this is logged in pieces
constexpr size_t kMaxTranscript = 200000; // lines kept; more are counted, not stored

std::string hex2(uint8_t b)
{
    char s[3];
    std::snprintf(s, sizeof s, "%02X", b);
    return s;
}

// Latin single-byte text: ASCII as is, the rest by its Latin-1 code point.
void appendLatin(std::string& out, uint8_t b)
{
    if (b < 0x80) {
        out.push_back(char(b));
    } else {
        out.push_back(char(0xC0 | (b >> 6)));
        out.push_back(char(0x80 | (b & 0x3F)));
    }
}

const char* kReplacement = "\xEF\xBF\xBD";

bool isGbkLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
// After a lead byte the printer takes any byte from 40 to FE as the trail:
// 7F completes a code that is no character, printed as a box.
bool isGbkTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE; }

std::string escapeText(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char b[8];
                std::snprintf(b, sizeof b, "\\u%04x", c);
                out += b;
            } else {
                out.push_back(char(c));
            }
        }
    }
    return out + "\"";
}

std::string mm(int units)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", units * 0.176);
    return b;
}

const unsigned kBaudTable[] = {1200, 2400, 4800, 9600, 19200, 38400};

} // namespace

std::string hexBytes(std::span<const uint8_t> bytes)
{
    std::string s;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            s.push_back(' ');
        s += hex2(bytes[i]);
    }
    return s;
}

std::string gbkToUtf8(std::span<const uint8_t> bytes)
{
    std::string out;
    // One converter per thread, opened once: opening is far dearer than use.
    struct Converter {
        iconv_t cd = iconv_open("UTF-8", "GBK");
        ~Converter()
        {
            if (cd != iconv_t(-1))
                iconv_close(cd);
        }
    };
    thread_local Converter conv;
    iconv_t cd = conv.cd;
    if (cd == iconv_t(-1)) {
        for (uint8_t b : bytes)
            if (b < 0x80)
                out.push_back(char(b));
            else
                out += kReplacement;
        return out;
    }
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t n = (isGbkLead(bytes[i]) && i + 1 < bytes.size()) ? 2 : 1;
        char in[2] = {char(bytes[i]), n == 2 ? char(bytes[i + 1]) : '\0'};
        char buf[8];
        char* ip = in;
        char* op = buf;
        size_t il = n, ol = sizeof buf;
        if (bytes[i] < 0x80) {
            out.push_back(char(bytes[i]));
        } else if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1)) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            out += kReplacement;
        } else {
            out.append(buf, size_t(op - buf));
        }
        i += n;
    }
    return out;
}

struct Printer::Impl {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    PrinterOptions options;
    PrinterState state;
    Paper paper;
    std::vector<std::string> lines;
    uint64_t linesDropped = 0;
    std::vector<uint8_t> pending; // bytes of a command not yet complete
    std::vector<uint8_t> received;
    std::vector<Answer> answers;
    std::function<void()> answerListener;
    LineInfo line;
    // Download in progress.
    bool downloading = false;
    bool downloadHasData = false;
    Clock::time_point lastData{};
    QCryptographicHash hash{QCryptographicHash::Sha256};
    // The bytes of each download, in the order of state.downloads.
    std::vector<std::vector<uint8_t>> downloadData;

    explicit Impl(PrinterOptions o) : options(std::move(o)), paper(options.paperDots) { powerOn(); }

    void powerOn()
    {
        if (!options.awaitFirmware)
            return;
        log("switched on in the firmware download state");
        startDownload(DownloadKind::Firmware);
    }

    void log(std::string s)
    {
        if (lines.size() < kMaxTranscript)
            lines.push_back(std::move(s));
        else
            ++linesDropped;
    }

    void logCmd(std::span<const uint8_t> bytes, const std::string& what)
    {
        log(hexBytes(bytes) + "  " + what);
    }

    void unknown(std::span<const uint8_t> bytes)
    {
        ++state.unknownCommands;
        log("unknown " + hexBytes(bytes));
    }

    // --- print modes ---
    GlyphStyle latinStyle() const
    {
        GlyphStyle s;
        const uint8_t m = state.printMode;
        if (m & 0x01) {
            s.width = 9;
            s.height = 17;
        }
        s.bold = m & 0x08;
        s.doubleHeight = m & 0x10;
        s.doubleWidth = m & 0x20;
        s.underline = m & 0x80;
        return s;
    }

    GlyphStyle chineseStyle() const
    {
        GlyphStyle s;
        s.width = 24;
        s.height = 24;
        const uint8_t c = state.chineseModeByte, m = state.printMode;
        s.doubleWidth = (c & 0x04) || (m & 0x20);
        s.doubleHeight = (c & 0x08) || (m & 0x10);
        s.underline = (c & 0x80) || (m & 0x80);
        s.bold = m & 0x08;
        return s;
    }

    static std::string describeMode(uint8_t n)
    {
        std::string s = (n & 0x01) ? "font B" : "font A";
        if (n & 0x08) s += ", bold";
        if (n & 0x10) s += ", double height";
        if (n & 0x20) s += ", double width";
        if (n & 0x80) s += ", underline";
        return s;
    }

    static std::string describeChineseMode(uint8_t n)
    {
        std::string s;
        auto add = [&s](const char* t) { s += s.empty() ? t : std::string(", ") + t; };
        if (n & 0x04) add("double width");
        if (n & 0x08) add("double height");
        if (n & 0x80) add("underline");
        return s.empty() ? "normal" : s;
    }

    void initialise()
    {
        state.printMode = 0;
        state.chineseMode = true;
        state.chineseModeByte = 0;
        state.charSpacing = 0;
        state.lineSpacing = 30;
        state.unidirectional = false;
        paper.clearLine();
    }

    // --- answers ---
    void answer(const std::vector<uint8_t>& right, const AnswerConfig& cfg, int baseDelay, size_t shortLen)
    {
        Answer a;
        a.delayMs = baseDelay;
        switch (cfg.mode) {
        case AnswerMode::Correct:
            a.bytes = right;
            break;
        case AnswerMode::Wrong:
            a.bytes = cfg.wrongBytes;
            if (a.bytes.empty())
                for (uint8_t b : right)
                    a.bytes.push_back(uint8_t(~b));
            break;
        case AnswerMode::Short:
            a.bytes.assign(right.begin(), right.begin() + std::min(shortLen, right.size()));
            break;
        case AnswerMode::Late:
            a.bytes = right;
            a.delayMs = baseDelay + cfg.lateMs;
            break;
        case AnswerMode::Silent:
            log("  answer: none (silent)");
            return;
        }
        log("  answer " + hexBytes(a.bytes) + (a.delayMs ? " after " + std::to_string(a.delayMs) + " ms" : ""));
        answers.push_back(std::move(a));
    }

    // --- downloads ---
    void startDownload(DownloadKind kind)
    {
        downloading = true;
        downloadHasData = false;
        hash.reset();
        DownloadSession s;
        s.kind = kind;
        s.baud = line.baud;
        s.file = "download-" + std::to_string(state.downloads.size() + 1) +
                 (kind == DownloadKind::Font ? "-font.bin" : "-firmware.bin");
        state.downloads.push_back(s);
        downloadData.emplace_back();
    }

    void endDownload(const char* why)
    {
        if (!downloading)
            return;
        downloading = false;
        DownloadSession& s = state.downloads.back();
        s.open = false;
        s.sha256 = hash.result().toHex().toStdString();
        const char* kind = s.kind == DownloadKind::Font ? "font" : "firmware";
        log(std::string("download ") + kind + " ended (" + why + "): " + std::to_string(s.length) +
            " bytes, sha256 " + s.sha256);
        paper.note(std::string(kind) + " download " + std::to_string(s.length) + " bytes");
    }

    void downloadBytes(std::span<const uint8_t> bytes, Clock::time_point now)
    {
        if (bytes.empty())
            return;
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
        state.downloads.back().length += bytes.size();
        downloadData.back().insert(downloadData.back().end(), bytes.begin(), bytes.end());
        downloadHasData = true;
        lastData = now;
    }

    void checkQuiet(Clock::time_point now)
    {
        if (downloading && downloadHasData && now - lastData >= options.downloadQuiet)
            endDownload("line quiet");
    }

    // --- text ---
    // Lays out and logs a complete run of text of n bytes at p.
    size_t text(const uint8_t* p, size_t n)
    {
        std::string utf8;
        size_t i = 0;
        while (i < n) {
            const uint8_t b = p[i];
            if (state.chineseMode && b >= 0x80) {
                if (isGbkLead(b)) {
                    if (i + 1 >= n) {
                        // A lead byte at the end of the stream.
                        utf8 += kReplacement;
                        paper.addGlyph(kReplacement, chineseStyle(), state.charSpacing);
                        ++i;
                        continue;
                    }
                    if (isGbkTrail(p[i + 1])) {
                        const std::string ch = gbkToUtf8(std::span<const uint8_t>(p + i, 2));
                        utf8 += ch;
                        paper.addGlyph(ch, chineseStyle(), state.charSpacing);
                        i += 2;
                        continue;
                    }
                }
                utf8 += kReplacement;
                paper.addGlyph(kReplacement, latinStyle(), state.charSpacing);
                ++i;
                continue;
            }
            std::string ch;
            appendLatin(ch, b);
            utf8 += ch;
            paper.addGlyph(ch, latinStyle(), state.charSpacing);
            ++i;
        }
        log("TEXT \"" + escapeText(utf8) + "\"");
        return i;
    }

    // Returns bytes used by one command at p, 0 when more bytes are needed.
    size_t command(const uint8_t* p, size_t n, bool final);
    struct Rows; // the table of commands
    void decode(bool final, Clock::time_point now);
};

// The length of the run of text at p. A run is logged as one line, so it is
// laid out only once its end has arrived (*complete): that keeps the result
// the same however the stream was split.
static size_t textRunLength(const uint8_t* p, size_t n, bool chinese, bool final, bool* complete)
{
    size_t i = 0;
    *complete = false;
    while (i < n && i < kMaxTextRun) {
        const uint8_t b = p[i];
        if (b < 0x20 || b == 0x7F) {
            *complete = true;
            return i;
        }
        if (chinese && isGbkLead(b) && i + 1 < n && isGbkTrail(p[i + 1])) {
            i += 2;
            continue;
        }
        if (chinese && isGbkLead(b) && i + 1 >= n && !final)
            return i; // trail byte still to come
        ++i;
    }
    if (i >= kMaxTextRun)
        *complete = true;
    return i;
}

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

// Whether the bytes at hand agree with `prefix` as far as both go.
bool prefixOf(std::string_view prefix, const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < prefix.size() && i < n; ++i)
        if (uint8_t(prefix[i]) != p[i])
            return false;
    return true;
}

} // namespace

struct Printer::Impl::Rows {
    struct CommandRow {
        std::string_view prefix;
        size_t length;                              // fixed total length; 0: lengthOf decides
        size_t (*lengthOf)(const uint8_t*, size_t); // 0 while more bytes are needed
        size_t logged;                              // bytes shown in the transcript; 0: all
        const char* name;
        void (*run)(Impl& d, const CommandRow& row, Bytes cmd);
    };

    struct FamilyRow {
        std::string_view prefix;
        size_t unknownLength;
    };

    static void logRow(Impl& d, const CommandRow& row, Bytes cmd, const std::string& detail = {})
    {
        d.logCmd(row.logged ? cmd.first(row.logged) : cmd, row.name + detail);
    }

    static void cut(Impl& d, bool full, std::string command)
    {
        d.state.cuts.push_back({full, std::move(command)});
        d.paper.cut(full);
        d.paper.note(full ? "full cut" : "partial cut");
    }

    static void bitImage(Impl& d, const CommandRow& row, Bytes cmd)
    {
        const size_t cols = size_t(cmd[3]) | size_t(cmd[4]) << 8;
        logRow(d, row, cmd, ", " + std::to_string(cols) + " columns");
        d.paper.addImage(std::vector<uint8_t>(cmd.begin() + 5, cmd.end()), cmd[2] >= 32 ? 24 : 8);
    }

    static void blackMarkDistance(Impl& d, const CommandRow& row, Bytes cmd, int& field, const char* what)
    {
        const int units = int(cmd[3]) | int(cmd[4]) << 8;
        field = units;
        logRow(d, row, cmd, " " + std::to_string(units) + " units (" + mm(units) + " mm)");
        d.paper.note(std::string(what) + " " + mm(units) + " mm");
    }

    static void setting(Impl& d, const CommandRow& row, Bytes cmd, bool on, const char* what)
    {
        logRow(d, row, cmd);
        d.paper.note(std::string(what) + (on ? " on" : " off"));
    }

    static void gsCutAfterFeed(Impl& d, const CommandRow& row, Bytes cmd)
    {
        // 41/61/66/67: full; 42/62/68: partial. 66 is the black-mark page's
        // "cut after printing", taken as a full cut.
        const uint8_t m = cmd[2];
        const bool full = m == 65 || m == 97 || m == 102 || m == 103;
        logRow(d, row, cmd, std::string(full ? "full" : "partial") + " cut after feeding " +
                                std::to_string(cmd[3]) + " dots (form " + hex2(m) + ")");
        d.paper.printLine(cmd[3], false);
        cut(d, full, "GS V " + hex2(m) + " " + hex2(cmd[3]));
    }

    static void gsCut(Impl& d, const CommandRow& row, Bytes cmd)
    {
        const bool full = (cmd[2] & 1) == 0;
        logRow(d, row, cmd, full ? "full cut" : "partial cut");
        cut(d, full, "GS V " + hex2(cmd[2]));
    }

    static void blackMarkFeed(Impl& d, const CommandRow& row, Bytes cmd)
    {
        ++d.state.blackMarkFeeds;
        logRow(d, row, cmd);
        d.paper.printLine(0, false);
        d.paper.note("feed to black mark");
    }

    static void drive(Impl& d, const CommandRow& row, Bytes cmd, int& counter, const char* note)
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
               []([[maybe_unused]] Impl& d, [[maybe_unused]] const CommandRow& row,                             \
                  [[maybe_unused]] Bytes cmd) { __VA_ARGS__ }}
#define SV(prefix) std::string_view(prefix, sizeof(prefix) - 1)

const Printer::Impl::Rows::CommandRow Printer::Impl::Rows::kCommands[] = {
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
        logRow(d, row, cmd, std::to_string(cmd[2]) + " dots");
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
        logRow(d, row, cmd, std::to_string(cmd[2]) + " dots");
    }),
    ROW("\x1B\x32", 2, 0, "ESC 2 default line spacing", { d.state.lineSpacing = 30; logRow(d, row, cmd); }),
    ROW("\x1B\x69", 2, 0, "ESC i full cut", { logRow(d, row, cmd); cut(d, true, "ESC i"); }),
    ROW("\x1B\x6D", 2, 0, "ESC m partial cut", { logRow(d, row, cmd); cut(d, false, "ESC m"); }),
    ROW("\x1B\x70", 5, 0, "ESC p drawer kick: ", {
        d.state.drawerKicks.push_back({cmd[2], cmd[3], cmd[4]});
        logRow(d, row, cmd, "connector " + std::to_string(cmd[2]) + ", on " + std::to_string(cmd[3]) + ", off " +
                                std::to_string(cmd[4]));
        d.paper.note("drawer " + std::to_string(cmd[2] + 1) + " kicked");
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
    ROW("\x1D\x0C", 2, 0, "GS FF black-mark feed (form GS FF 1D 0C)", blackMarkFeed(d, row, cmd);),
    ROW("\x1D\xCB", 2, 0, "black-mark feed (form 1D CB)", blackMarkFeed(d, row, cmd);),

    // The maker's commands
    ROW("\x1B\x1D\x00\x01", 10, 4, "store string ", {
        std::copy(cmd.begin() + 4, cmd.end(), d.state.storedString.begin());
        d.state.storedStringSet = true;
        std::string s;
        for (uint8_t b : cmd.subspan(4))
            appendLatin(s, b);
        logRow(d, row, cmd, "\"" + escapeText(s) + "\" (" + hexBytes(cmd.subspan(4)) + ")");
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
        logRow(d, row, cmd, "\"" + escapeText(num) + "\"");
        d.paper.note("machine number " + num);
    }),
    ROW("\x1C\xAA\x19", 3, 0, "print machine number ", {
        ++d.state.machineNumberPrints;
        logRow(d, row, cmd, "\"" + escapeText(d.state.machineNumber) + "\"");
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
        const std::string rate = cmd[3] < 6 ? std::to_string(kBaudTable[cmd[3]]) + " baud" : "out of range";
        logRow(d, row, cmd, std::to_string(cmd[3]) + " (" + rate + ")");
        d.paper.note("baud " + rate);
    }),
    ROW("\x1C\xAA\x23\x01", 4, 0, "cutter on", { d.state.cutter = true; setting(d, row, cmd, true, "cutter"); }),
    ROW("\x1C\xAA\x23\x00", 4, 0, "cutter off", { d.state.cutter = false; setting(d, row, cmd, false, "cutter"); }),
};

#undef ROW

// Longest prefix wins. A control byte no row knows is set aside alone.
const Printer::Impl::Rows::FamilyRow Printer::Impl::Rows::kFamilies[] = {
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
};

#undef SV

size_t Printer::Impl::command(const uint8_t* p, size_t n, bool final)
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

void Printer::Impl::decode(bool final, Clock::time_point now)
{
    size_t pos = 0;
    while (pos < pending.size()) {
        if (downloading) {
            downloadBytes(std::span<const uint8_t>(pending).subspan(pos), now);
            pos = pending.size();
            break;
        }
        const size_t used = command(pending.data() + pos, pending.size() - pos, final);
        if (used == 0) {
            if (!final)
                break;
            // End of input inside a command: log what is left, lose no more.
            ++state.unknownCommands;
            log("truncated " + hexBytes(std::span<const uint8_t>(pending).subspan(pos)));
            pos = pending.size();
            break;
        }
        pos += used;
    }
    pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(pos));
}

Printer::Printer(PrinterOptions options) : d_(std::make_unique<Impl>(std::move(options))) {}
Printer::~Printer() = default;

void Printer::feed(std::span<const uint8_t> bytes) { feed(bytes, Clock::now()); }

void Printer::feed(std::span<const uint8_t> bytes, Clock::time_point now, LineInfo line)
{
    std::function<void()> listener;
    {
        std::lock_guard lock(d_->mutex);
        const size_t answersBefore = d_->answers.size();
        d_->checkQuiet(now);
        d_->line = line;
        d_->received.insert(d_->received.end(), bytes.begin(), bytes.end());
        d_->state.bytesReceived += bytes.size();
        d_->pending.insert(d_->pending.end(), bytes.begin(), bytes.end());
        d_->decode(false, now);
        if (d_->answers.size() != answersBefore)
            listener = d_->answerListener;
    }
    d_->changed.notify_all();
    if (listener)
        listener();
}

void Printer::tick(Clock::time_point now)
{
    {
        std::lock_guard lock(d_->mutex);
        d_->checkQuiet(now);
    }
    d_->changed.notify_all();
}

void Printer::flush()
{
    {
        std::lock_guard lock(d_->mutex);
        d_->endDownload("end of input");
        d_->decode(true, Clock::now());
        if (!d_->paper.lineEmpty())
            d_->paper.printLine(0, true);
    }
    d_->changed.notify_all();
}

void Printer::lineClosed()
{
    {
        std::lock_guard lock(d_->mutex);
        if (d_->downloading && d_->downloadHasData)
            d_->endDownload("line closed");
    }
    d_->changed.notify_all();
}

std::vector<Answer> Printer::takeAnswers()
{
    std::lock_guard lock(d_->mutex);
    std::vector<Answer> out;
    out.swap(d_->answers);
    return out;
}

void Printer::setAnswerListener(std::function<void()> listener)
{
    std::lock_guard lock(d_->mutex);
    d_->answerListener = std::move(listener);
}

void Printer::setOptions(const PrinterOptions& options)
{
    std::lock_guard lock(d_->mutex);
    const bool newPaper = options.paperDots != d_->options.paperDots;
    d_->options = options;
    if (newPaper)
        d_->paper = Paper(options.paperDots);
}

void Printer::setAnswers(const AnswerConfig& preamble, const AnswerConfig& readString)
{
    std::lock_guard lock(d_->mutex);
    d_->options.preambleAnswer = preamble;
    d_->options.readStringAnswer = readString;
}

PrinterOptions Printer::options() const
{
    std::lock_guard lock(d_->mutex);
    return d_->options;
}

std::vector<std::string> Printer::transcript() const
{
    std::lock_guard lock(d_->mutex);
    return d_->lines;
}

std::string Printer::transcriptText() const
{
    std::lock_guard lock(d_->mutex);
    std::string s;
    for (const std::string& l : d_->lines)
        s += l + "\n";
    if (d_->linesDropped)
        s += "(" + std::to_string(d_->linesDropped) + " more lines not kept)\n";
    return s;
}

PrinterState Printer::state() const
{
    std::lock_guard lock(d_->mutex);
    return d_->state;
}

std::string Printer::stateJson() const
{
    const PrinterState s = state();
    std::ostringstream o;
    auto distance = [&](const char* name, int units, bool last) {
        o << "    " << jsonString(name) << ": ";
        if (units < 0)
            o << "null";
        else
            o << "{\"units\": " << units << ", \"mm\": " << mm(units) << "}";
        o << (last ? "\n" : ",\n");
    };
    o << "{\n";
    o << "  \"printMode\": " << int(s.printMode) << ",\n";
    o << "  \"chineseMode\": " << (s.chineseMode ? "true" : "false") << ",\n";
    o << "  \"chineseModeByte\": " << int(s.chineseModeByte) << ",\n";
    o << "  \"charSpacing\": " << int(s.charSpacing) << ",\n";
    o << "  \"lineSpacing\": " << int(s.lineSpacing) << ",\n";
    o << "  \"unidirectional\": " << (s.unidirectional ? "true" : "false") << ",\n";
    o << "  \"machineNumber\": " << jsonString(s.machineNumber) << ",\n";
    o << "  \"blackMark\": {\n    \"on\": " << (s.blackMark ? "true" : "false") << ",\n";
    distance("markDistance", s.markDistance, false);
    distance("headOffset", s.headOffset, false);
    distance("cutOffset", s.cutOffset, true);
    o << "  },\n";
    o << "  \"cutter\": " << (s.cutter ? (*s.cutter ? "true" : "false") : "null") << ",\n";
    o << "  \"baudIndex\": " << s.baudIndex << ",\n";
    o << "  \"baud\": " << (s.baudIndex >= 0 && s.baudIndex < 6 ? std::to_string(kBaudTable[s.baudIndex]) : "null")
      << ",\n";
    o << "  \"storedString\": "
      << (s.storedStringSet ? jsonString(hexBytes(s.storedString)) : std::string("null")) << ",\n";
    o << "  \"downloads\": [";
    for (size_t i = 0; i < s.downloads.size(); ++i) {
        const DownloadSession& d = s.downloads[i];
        o << (i ? ", " : "") << "{\"kind\": \"" << (d.kind == DownloadKind::Font ? "font" : "firmware")
          << "\", \"length\": " << d.length << ", \"sha256\": " << jsonString(d.sha256)
          << ", \"open\": " << (d.open ? "true" : "false") << ", \"baud\": " << d.baud
          << ", \"file\": " << jsonString(d.file) << "}";
    }
    o << "],\n";
    o << "  \"drawerKicks\": [";
    for (size_t i = 0; i < s.drawerKicks.size(); ++i)
        o << (i ? ", " : "") << "{\"connector\": " << int(s.drawerKicks[i].connector)
          << ", \"on\": " << int(s.drawerKicks[i].onTime) << ", \"off\": " << int(s.drawerKicks[i].offTime) << "}";
    o << "],\n";
    o << "  \"cuts\": [";
    for (size_t i = 0; i < s.cuts.size(); ++i)
        o << (i ? ", " : "") << "{\"full\": " << (s.cuts[i].full ? "true" : "false")
          << ", \"command\": " << jsonString(s.cuts[i].command) << "}";
    o << "],\n";
    o << "  \"machineNumberPrints\": " << s.machineNumberPrints << ",\n";
    o << "  \"blackMarkFeeds\": " << s.blackMarkFeeds << ",\n";
    o << "  \"drives\": {\"carriage\": " << s.carriageDrives << ", \"paperFeed\": " << s.paperFeedDrives
      << ", \"pins\": " << s.pinDrives << "},\n";
    o << "  \"bytesReceived\": " << s.bytesReceived << ",\n";
    o << "  \"unknownCommands\": " << s.unknownCommands << "\n";
    o << "}\n";
    return o.str();
}

std::vector<uint8_t> Printer::received() const
{
    std::lock_guard lock(d_->mutex);
    return d_->received;
}

size_t Printer::countLines(const std::string& needle) const
{
    std::lock_guard lock(d_->mutex);
    return size_t(std::count_if(d_->lines.begin(), d_->lines.end(),
                                [&](const std::string& l) { return l.find(needle) != std::string::npos; }));
}

bool Printer::renderPng(const std::string& path, std::string* error) const
{
    Paper copy(0);
    {
        std::lock_guard lock(d_->mutex);
        copy = d_->paper;
    }
    return copy.writePng(path, error);
}

std::vector<std::vector<bool>> Printer::paperDots() const
{
    Paper copy(0);
    {
        std::lock_guard lock(d_->mutex);
        copy = d_->paper;
    }
    return copy.dots();
}

int Printer::paperWidth() const
{
    std::lock_guard lock(d_->mutex);
    return d_->paper.width();
}

int Printer::paperHeight() const
{
    std::lock_guard lock(d_->mutex);
    return d_->paper.height();
}

bool Printer::writeOutputs(const std::string& dir, std::string* error) const
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        if (error)
            *error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    auto writeText = [&](const std::string& name, const std::string& text) {
        const std::string path = dir + "/" + name;
        const std::string tmp = path + ".tmp";
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << text;
        f.close();
        if (!f || std::rename(tmp.c_str(), path.c_str()) != 0) {
            if (error)
                *error = "cannot write " + path;
            return false;
        }
        return true;
    };
    if (!writeText("transcript.txt", transcriptText()) || !writeText("state.json", stateJson()))
        return false;
    const PrinterState s = state();
    for (size_t i = 0; i < s.downloads.size(); ++i) {
        const std::vector<uint8_t> data = downloadData(i);
        if (!writeText(s.downloads[i].file, std::string(data.begin(), data.end())))
            return false;
    }
    return renderPng(dir + "/paper.png", error);
}

std::vector<uint8_t> Printer::downloadData(size_t index) const
{
    std::lock_guard lock(d_->mutex);
    return index < d_->downloadData.size() ? d_->downloadData[index] : std::vector<uint8_t>{};
}

bool Printer::waitForBytes(uint64_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d_->mutex);
    return d_->changed.wait_for(lock, timeout, [&] { return d_->state.bytesReceived >= count; });
}

bool Printer::waitForLine(const std::string& needle, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d_->mutex);
    return d_->changed.wait_for(lock, timeout, [&] {
        return std::any_of(d_->lines.begin(), d_->lines.end(),
                           [&](const std::string& l) { return l.find(needle) != std::string::npos; });
    });
}

bool Printer::waitFor(const std::function<bool(const PrinterState&)>& predicate,
                      std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d_->mutex);
    return d_->changed.wait_for(lock, timeout, [&] { return predicate(d_->state); });
}

void Printer::reset()
{
    std::lock_guard lock(d_->mutex);
    d_->state = PrinterState{};
    d_->paper = Paper(d_->options.paperDots);
    d_->lines.clear();
    d_->linesDropped = 0;
    d_->pending.clear();
    d_->received.clear();
    d_->answers.clear();
    d_->downloading = false;
    d_->downloadHasData = false;
    d_->hash.reset();
    d_->downloadData.clear();
    d_->powerOn();
}

} // namespace sim
