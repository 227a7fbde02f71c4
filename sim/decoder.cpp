// The printer's decoder: text in GBK or Latin, the state, the downloads and
// the answers; the table of commands it knows is in commands.cpp.
#include "sim/decoder.h"

#include "sim/codetables.h"
#include "sim/status.h"

#include "platform/win32.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace sim {

namespace {

constexpr size_t kMaxTextRun = 4096; // a text run longer than this is logged in pieces
// Answers nobody takes (a decoded file, a parallel port) are not kept beyond this.
constexpr size_t kMaxQueuedAnswers = 256;

bool isGbkLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
// After a lead byte the printer takes any byte from 40 to FE as the trail:
// 7F completes a code that is no character, printed as a box.
bool isGbkTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE; }

// Keeps the last PrinterState::kMaxListed entries of a list.
template <typename T> void pushBounded(std::vector<T>& list, T item)
{
    if (list.size() >= PrinterState::kMaxListed)
        list.erase(list.begin());
    list.push_back(std::move(item));
}

} // namespace

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

int drawerPin(uint8_t connector)
{
    switch (connector) {
    case 0:
    case 48:
        return 2;
    case 1:
    case 49:
        return 5;
    default:
        return 0;
    }
}

Decoder::Decoder(PrinterOptions o) : options(std::move(o)), paper(options.paperDots)
{
    state.status = options.status;
    powerOn();
}

void Decoder::powerOn()
{
    if (!options.awaitFirmware)
        return;
    log("switched on in the firmware download state");
    startDownload(DownloadKind::Firmware);
}

void Decoder::reset()
{
    const unsigned status = state.status;
    state = PrinterState{};
    state.status = status;
    downloads.clear();
    paper = Paper(options.paperDots);
    transcript.clear();
    pending_.clear();
    skip_ = 0;
    received.clear();
    answers.clear();
    powerOn();
}

void Decoder::feed(std::span<const uint8_t> bytes, Clock::time_point now, LineInfo lineInfo)
{
    checkQuiet(now);
    line = lineInfo;
    state.bytesReceived += bytes.size();
    const size_t keep = std::min(bytes.size(), options.keepReceived - std::min(options.keepReceived, received.size()));
    received.insert(received.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(keep));
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    decode(false, now);
}

void Decoder::checkQuiet(Clock::time_point now)
{
    if (downloads.hasData() && now - downloads.lastData() >= options.downloadQuiet)
        endDownload("line quiet");
}

void Decoder::flush(Clock::time_point now)
{
    endDownload("end of input");
    if (skip_ > 0) {
        ++state.unknownCommands;
        log("truncated raster image: " + std::to_string(skip_) + " bytes of it missing");
        skip_ = 0;
    }
    decode(true, now);
    if (!paper.lineEmpty())
        paper.printLine(0, true);
}

void Decoder::lineClosed()
{
    if (downloads.hasData())
        endDownload("line closed");
}

void Decoder::logCmd(std::span<const uint8_t> bytes, const std::string& what)
{
    log(hexBytes(bytes) + "  " + what);
}

void Decoder::unknown(std::span<const uint8_t> bytes)
{
    ++state.unknownCommands;
    log("unknown " + hexBytes(bytes));
}

GlyphStyle Decoder::latinStyle() const
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

GlyphStyle Decoder::chineseStyle() const
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

void Decoder::initialise()
{
    state.printMode = 0;
    state.chineseMode = true;
    state.chineseModeByte = 0;
    state.charSpacing = 0;
    state.lineSpacing = 30;
    state.unidirectional = false;
    state.codeTable = -1;
    paper.clearLine();
}

void Decoder::queueAnswer(Answer a)
{
    if (answers.size() >= kMaxQueuedAnswers)
        answers.erase(answers.begin());
    answers.push_back(std::move(a));
    ++answersQueued;
}

void Decoder::answer(const std::vector<uint8_t>& right, const AnswerConfig& cfg, int baseDelay, size_t shortLen)
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
        a.bytes.assign(right.begin(), right.begin() + std::ptrdiff_t(std::min(shortLen, right.size())));
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
    queueAnswer(std::move(a));
}

void Decoder::startDownload(DownloadKind kind) { downloads.start(kind, line.baud); }

void Decoder::endDownload(const char* why)
{
    const DownloadSession* s = downloads.end();
    if (s == nullptr)
        return;
    const char* kind = s->kind == DownloadKind::Font ? "font" : "firmware";
    log(std::string("download ") + kind + " ended (" + why + "): " + std::to_string(s->length) + " bytes, sha256 " +
        s->sha256);
    paper.note(std::string(kind) + " download " + std::to_string(s->length) + " bytes");
}

void Decoder::addCut(bool full, std::string command)
{
    ++state.cutCount;
    pushBounded(state.cuts, Cut{full, std::move(command)});
    paper.cut(full);
    paper.note(full ? "full cut" : "partial cut");
}

void Decoder::addDrawerKick(DrawerKick kick)
{
    ++state.drawerKickCount;
    pushBounded(state.drawerKicks, kick);
    paper.note("drawer " + std::to_string(kick.connector + 1) + " kicked");
}

// Lays out and logs a complete run of text of n bytes at p. GBK goes
// through the platform's converter, as the program's own text does; a code
// it cannot convert shows as '?' and, after the text, by its bytes, and
// prints as a box.
size_t Decoder::text(const uint8_t* p, size_t n)
{
    std::string utf8;
    std::string undecodable;
    auto bad = [&](std::span<const uint8_t> code, const GlyphStyle& style) {
        utf8.push_back('?');
        undecodable += (undecodable.empty() ? "" : ", ") + hexBytes(code);
        paper.addGlyph({}, style, state.charSpacing);
    };
    size_t i = 0;
    while (i < n) {
        const uint8_t b = p[i];
        if (state.chineseMode && b >= 0x80) {
            if (isGbkLead(b) && i + 1 < n && isGbkTrail(p[i + 1])) {
                const std::string ch = PlatGbkToUtf8(std::string_view(reinterpret_cast<const char*>(p + i), 2));
                // A converted code is never ASCII: a '?' in it means it did not convert.
                if (ch.find('?') != std::string::npos) {
                    bad({p + i, 2}, chineseStyle());
                } else {
                    utf8 += ch;
                    paper.addGlyph(ch, chineseStyle(), state.charSpacing);
                }
                i += 2;
                continue;
            }
            // A lead byte at the end of the stream takes a Chinese cell.
            bad({p + i, 1}, isGbkLead(b) && i + 1 >= n ? chineseStyle() : latinStyle());
            ++i;
            continue;
        }
        std::string ch;
        if (b >= 0x80 && state.codeTable >= 0) {
            ch = codeTableGlyph(state.codeTable, b);
            if (ch.empty()) {
                bad({p + i, 1}, latinStyle());
                ++i;
                continue;
            }
        } else {
            appendLatin(ch, b);
        }
        utf8 += ch;
        paper.addGlyph(ch, latinStyle(), state.charSpacing);
        ++i;
    }
    log("TEXT " + quoted(utf8) + (undecodable.empty() ? "" : " (undecodable: " + undecodable + ")"));
    return i;
}

// The length of the run of text at p. A run is logged as one line, so it is
// laid out only once its end has arrived (*complete): that keeps the result
// the same however the stream was split.
size_t textRunLength(const uint8_t* p, size_t n, bool chinese, bool final, bool* complete)
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

void Decoder::decode(bool final, Clock::time_point now)
{
    size_t pos = 0;
    while (pos < pending_.size()) {
        if (skip_ > 0) {
            const size_t n = size_t(std::min<uint64_t>(skip_, pending_.size() - pos));
            skip_ -= n;
            pos += n;
            continue;
        }
        if (downloads.active()) {
            downloads.add(std::span<const uint8_t>(pending_).subspan(pos), now);
            pos = pending_.size();
            break;
        }
        const size_t used = command(pending_.data() + pos, pending_.size() - pos, final);
        if (used == 0) {
            if (!final)
                break;
            // End of input inside a command: log what is left, lose no more.
            ++state.unknownCommands;
            log("truncated " + hexBytes(std::span<const uint8_t>(pending_).subspan(pos)));
            pos = pending_.size();
            break;
        }
        pos += used;
    }
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(pos));
}

} // namespace sim
