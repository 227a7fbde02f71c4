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
bool isGbkTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

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

    explicit Impl(PrinterOptions o) : options(std::move(o)), paper(options.paperDots) {}

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
        state.downloads.push_back(s);
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

size_t Printer::Impl::command(const uint8_t* p, size_t n, bool final)
{
    auto need = [&](size_t k) { return n < k; };
    auto bytes = [&](size_t k) { return std::span<const uint8_t>(p, k); };
    const uint8_t b0 = p[0];

    if (b0 >= 0x20 && b0 != 0x7F) {
        bool complete = false;
        const size_t len = textRunLength(p, n, state.chineseMode, final, &complete);
        if ((!complete && !final) || len == 0)
            return 0;
        return text(p, len);
    }

    switch (b0) {
    case 0x0A:
        log("LF");
        paper.printLine(state.lineSpacing, true);
        return 1;
    case 0x0D:
        log("CR");
        paper.printLine(0, false);
        return 1;
    case 0x09:
        log("HT");
        paper.tab(8 * latinStyle().width * (latinStyle().doubleWidth ? 2 : 1));
        return 1;
    case 0x00:
        log("NUL");
        return 1;
    case 0x1B: {
        if (need(2))
            return 0;
        const uint8_t c = p[1];
        switch (c) {
        case 0x40:
            logCmd(bytes(2), "ESC @ initialise");
            initialise();
            return 2;
        case 0x21:
            if (need(3))
                return 0;
            state.printMode = p[2];
            logCmd(bytes(3), "ESC ! print mode: " + describeMode(p[2]));
            return 3;
        case 0x2A: {
            if (need(3))
                return 0;
            const uint8_t m = p[2];
            int dotsHigh = 0;
            const char* density = "";
            switch (m) {
            case 0: dotsHigh = 8; density = "8-dot single density"; break;
            case 1: dotsHigh = 8; density = "8-dot double density"; break;
            case 32: dotsHigh = 24; density = "24-dot single density"; break;
            case 33: dotsHigh = 24; density = "24-dot double density"; break;
            default:
                unknown(bytes(3));
                return 3;
            }
            if (need(5))
                return 0;
            const size_t cols = size_t(p[3]) | size_t(p[4]) << 8;
            const size_t dataLen = cols * size_t(dotsHigh / 8);
            if (need(5 + dataLen))
                return 0;
            logCmd(bytes(5), std::string("ESC * bit image: ") + density + ", " + std::to_string(cols) + " columns");
            paper.addImage(std::vector<uint8_t>(p + 5, p + 5 + dataLen), dotsHigh);
            return 5 + dataLen;
        }
        case 0x4A:
            if (need(3))
                return 0;
            logCmd(bytes(3), "ESC J feed " + std::to_string(p[2]) + " dots");
            paper.printLine(p[2], false);
            return 3;
        case 0x55:
            if (need(3))
                return 0;
            state.unidirectional = p[2] & 1;
            logCmd(bytes(3), std::string("ESC U unidirectional ") + (state.unidirectional ? "on" : "off"));
            return 3;
        case 0x20:
            if (need(3))
                return 0;
            state.charSpacing = p[2];
            logCmd(bytes(3), "ESC SP character spacing " + std::to_string(p[2]) + " dots");
            return 3;
        case 0x33:
            if (need(3))
                return 0;
            state.lineSpacing = p[2];
            logCmd(bytes(3), "ESC 3 line spacing " + std::to_string(p[2]) + " dots");
            return 3;
        case 0x32:
            state.lineSpacing = 30;
            logCmd(bytes(2), "ESC 2 default line spacing");
            return 2;
        case 0x69:
        case 0x6D: {
            const bool full = c == 0x69;
            logCmd(bytes(2), full ? "ESC i full cut" : "ESC m partial cut");
            state.cuts.push_back({full, full ? "ESC i" : "ESC m"});
            paper.cut(full);
            paper.note(full ? "full cut" : "partial cut");
            return 2;
        }
        case 0x70: {
            if (need(5))
                return 0;
            DrawerKick k{p[2], p[3], p[4]};
            state.drawerKicks.push_back(k);
            logCmd(bytes(5), "ESC p drawer kick: connector " + std::to_string(p[2]) + ", on " +
                                 std::to_string(p[3]) + ", off " + std::to_string(p[4]));
            paper.note("drawer " + std::to_string(p[2] + 1) + " kicked");
            return 5;
        }
        case 0x1D: {
            if (need(3))
                return 0;
            if (p[2] != 0x00) {
                // Not the maker's 1B 1D 00 family: its length is unknown,
                // so only ESC GS itself is set aside.
                unknown(bytes(2));
                return 2;
            }
            if (need(4))
                return 0;
            if (p[3] == 0x01) {
                if (need(10))
                    return 0;
                std::copy(p + 4, p + 10, state.storedString.begin());
                state.storedStringSet = true;
                std::string s;
                for (size_t i = 4; i < 10; ++i)
                    appendLatin(s, p[i]);
                logCmd(bytes(4), "store string \"" + escapeText(s) + "\" (" + hexBytes(std::span(p + 4, 6)) + ")");
                return 10;
            }
            if (p[3] == 0x02) {
                logCmd(bytes(4), "read stored string");
                answer(std::vector<uint8_t>(state.storedString.begin(), state.storedString.end()),
                       options.readStringAnswer, 0, 5);
                return 4;
            }
            unknown(bytes(4));
            return 4;
        }
        default:
            unknown(bytes(2));
            return 2;
        }
    }
    case 0x1C: {
        if (need(2))
            return 0;
        const uint8_t c = p[1];
        if (c == 0x21) {
            if (need(3))
                return 0;
            state.chineseModeByte = p[2];
            logCmd(bytes(3), "FS ! Chinese print mode: " + describeChineseMode(p[2]));
            return 3;
        }
        if (c == 0x2E) {
            state.chineseMode = false;
            logCmd(bytes(2), "FS . Chinese mode off");
            return 2;
        }
        if (c == 0x26) {
            state.chineseMode = true;
            logCmd(bytes(2), "FS & Chinese mode on");
            return 2;
        }
        if (c != 0xAA) {
            unknown(bytes(2));
            return 2;
        }
        if (need(3))
            return 0;
        const uint8_t k = p[2];
        auto onOff = [&](size_t at) -> int { return p[at] == 1 ? 1 : p[at] == 0 ? 0 : -1; };
        switch (k) {
        case 0x0D: {
            std::string at;
            if (line.baud)
                at = " at " + std::to_string(line.baud) + " baud" + (line.rtscts ? ", RTS/CTS" : ", no flow control");
            logCmd(bytes(3), "font download preamble" + at);
            if (options.transport == Transport::Serial)
                answer({0x1C, 0xAA, 0xAA}, options.preambleAnswer, options.preambleAnswerDelayMs, 2);
            startDownload(DownloadKind::Font);
            return 3;
        }
        case 0x55:
            if (need(4))
                return 0;
            if (p[3] != 0x01) {
                unknown(bytes(4));
                return 4;
            }
            logCmd(bytes(4), "enter firmware download");
            startDownload(DownloadKind::Firmware);
            return 4;
        case 0x1A: {
            if (need(15))
                return 0;
            std::string num;
            for (size_t i = 3; i < 15; ++i)
                appendLatin(num, p[i]);
            state.machineNumber = num;
            logCmd(bytes(3), "machine number \"" + escapeText(num) + "\"");
            paper.note("machine number " + num);
            return 15;
        }
        case 0x19:
            ++state.machineNumberPrints;
            logCmd(bytes(3), "print machine number \"" + escapeText(state.machineNumber) + "\"");
            for (char ch : state.machineNumber)
                paper.addGlyph(std::string(1, ch), latinStyle(), state.charSpacing);
            paper.printLine(state.lineSpacing, true);
            return 3;
        case 0x11: {
            if (need(4))
                return 0;
            const int v = onOff(3);
            if (v < 0) {
                unknown(bytes(4));
                return 4;
            }
            state.blackMark = v;
            logCmd(bytes(4), std::string("black mark ") + (v ? "on" : "off"));
            paper.note(std::string("black mark ") + (v ? "on" : "off"));
            return 4;
        }
        case 0x12:
        case 0x13:
        case 0x14: {
            if (need(5))
                return 0;
            const int units = int(p[3]) | int(p[4]) << 8;
            const char* what = k == 0x12 ? "distance between marks" : k == 0x13 ? "mark to print head" : "cut position";
            (k == 0x12 ? state.markDistance : k == 0x13 ? state.headOffset : state.cutOffset) = units;
            logCmd(bytes(5), std::string("black mark ") + what + " " + std::to_string(units) + " units (" +
                                 mm(units) + " mm)");
            paper.note(std::string(what) + " " + mm(units) + " mm");
            return 5;
        }
        case 0x16:
            if (need(4))
                return 0;
            ++state.carriageDrives;
            logCmd(bytes(4), "drive carriage (" + hex2(p[3]) + ")");
            paper.note("carriage driven");
            return 4;
        case 0x17:
            if (need(5))
                return 0;
            ++state.paperFeedDrives;
            logCmd(bytes(5), "drive paper feed (" + hexBytes(bytes(5).subspan(3)) + ")");
            paper.note("paper feed driven");
            return 5;
        case 0x18:
            if (need(5))
                return 0;
            ++state.pinDrives;
            logCmd(bytes(5), "drive pins (" + hexBytes(bytes(5).subspan(3)) + ")");
            paper.note("pins fired");
            return 5;
        case 0x22: {
            if (need(4))
                return 0;
            state.baudIndex = p[3];
            std::string rate = p[3] < 6 ? std::to_string(kBaudTable[p[3]]) + " baud" : "out of range";
            logCmd(bytes(4), "serial baud index " + std::to_string(p[3]) + " (" + rate + ")");
            paper.note("baud " + rate);
            return 4;
        }
        case 0x23: {
            if (need(4))
                return 0;
            const int v = onOff(3);
            if (v < 0) {
                unknown(bytes(4));
                return 4;
            }
            state.cutter = bool(v);
            logCmd(bytes(4), std::string("cutter ") + (v ? "on" : "off"));
            paper.note(std::string("cutter ") + (v ? "on" : "off"));
            return 4;
        }
        default:
            unknown(bytes(3));
            return 3;
        }
    }
    case 0x1D: {
        if (need(2))
            return 0;
        const uint8_t c = p[1];
        if (c == 0x56) {
            if (need(3))
                return 0;
            const uint8_t m = p[2];
            if (m == 0 || m == 1 || m == 48 || m == 49) {
                const bool full = (m & 1) == 0;
                logCmd(bytes(3), full ? "GS V full cut" : "GS V partial cut");
                state.cuts.push_back({full, "GS V " + hex2(m)});
                paper.cut(full);
                paper.note(full ? "full cut" : "partial cut");
                return 3;
            }
            if (m == 65 || m == 66 || m == 97 || m == 98 || m == 102 || m == 103 || m == 104) {
                if (need(4))
                    return 0;
                // 41/42: feed and cut; 61/62 reserve; 67/68: feed n and
                // cut; 66 is the black-mark page's "cut after printing",
                // taken as a full cut.
                const bool full = m == 65 || m == 97 || m == 102 || m == 103;
                logCmd(bytes(4), std::string("GS V ") + (full ? "full" : "partial") + " cut after feeding " +
                                     std::to_string(p[3]) + " dots (form " + hex2(m) + ")");
                state.cuts.push_back({full, "GS V " + hex2(m) + " " + hex2(p[3])});
                paper.printLine(p[3], false);
                paper.cut(full);
                paper.note(full ? "full cut" : "partial cut");
                return 4;
            }
            unknown(bytes(3));
            return 3;
        }
        if (c == 0x0C) {
            ++state.blackMarkFeeds;
            logCmd(bytes(2), "GS FF black-mark feed (form GS FF 1D 0C)");
            paper.printLine(0, false);
            paper.note("feed to black mark");
            return 2;
        }
        if (c == 0xCB) {
            ++state.blackMarkFeeds;
            logCmd(bytes(2), "black-mark feed (form 1D CB)");
            paper.printLine(0, false);
            paper.note("feed to black mark");
            return 2;
        }
        unknown(bytes(2));
        return 2;
    }
    default:
        unknown(bytes(1));
        return 1;
    }
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
          << ", \"open\": " << (d.open ? "true" : "false") << ", \"baud\": " << d.baud << "}";
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
    return renderPng(dir + "/paper.png", error);
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
}

} // namespace sim
