// The printer's decoder: takes the received bytes command by command, and
// applies each to the printer's state, its paper, its transcript and its
// downloads, preparing the answers it gives. Not thread-safe: sim::Printer
// holds the lock around it.
#pragma once

#include "sim/downloads.h"
#include "sim/paper.h"
#include "sim/printer.h"
#include "sim/transcript.h"

namespace sim {

struct Decoder {
    explicit Decoder(PrinterOptions o);

    // Received bytes; a command split across calls is decoded once whole.
    void feed(std::span<const uint8_t> bytes, Clock::time_point now, LineInfo line);
    // Ends a download whose line has been quiet long enough.
    void checkQuiet(Clock::time_point now);
    // End of input: ends a download, logs an incomplete command, prints the line.
    void flush(Clock::time_point now);
    void lineClosed();
    // Everything received and printed goes; the state is back to power-on.
    void reset();

    PrinterOptions options;
    PrinterState state;
    Paper paper;
    Transcript transcript;
    Downloads downloads{state.downloads};
    std::vector<Answer> answers;   // not yet taken by the transport
    uint64_t answersQueued = 0;     // every answer ever queued
    std::vector<uint8_t> received; // the first options.keepReceived bytes
    LineInfo line;                 // the line as the last bytes came

    // --- for the command table (commands.cpp) ---
    struct Rows;
    void log(std::string s) { transcript.add(std::move(s)); }
    void logCmd(std::span<const uint8_t> bytes, const std::string& what);
    void unknown(std::span<const uint8_t> bytes);
    GlyphStyle latinStyle() const;
    GlyphStyle chineseStyle() const;
    void initialise();
    void answer(const std::vector<uint8_t>& right, const AnswerConfig& cfg, int baseDelay, size_t shortLen);
    void queueAnswer(Answer a);
    void startDownload(DownloadKind kind);
    void endDownload(const char* why);
    void addCut(bool full, std::string command);
    void addDrawerKick(DrawerKick kick);

private:
    void powerOn();
    size_t text(const uint8_t* p, size_t n);
    size_t command(const uint8_t* p, size_t n, bool final);
    void decode(bool final, Clock::time_point now);

    std::vector<uint8_t> pending_; // bytes of a command not yet complete
    uint64_t skip_ = 0;            // bytes still to come of a command too large to keep
};

// Latin single-byte text: ASCII as is, the rest by its Latin-1 code point.
void appendLatin(std::string& out, uint8_t b);
// The length of the run of text at p; *complete once its end has arrived.
size_t textRunLength(const uint8_t* p, size_t n, bool chinese, bool final, bool* complete);

} // namespace sim
