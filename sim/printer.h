// The virtual KQ printer: decodes the byte stream it receives (ESC/POS and
// the maker's 1C AA / 1B 1D commands), keeps the printer's state, prepares
// the answers the printer gives, and records what was printed for the
// transcript, state.json and paper.png. Thread-safe: a transport thread
// feeds it while a test thread inspects it. However long it runs, what it
// holds stays bounded: each record keeps its first or last part, counts and
// digests cover everything.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;

// Which cable the bytes come over; the printer answers the font preamble
// only on the serial line.
enum class Transport { Parallel, Serial, Usb, File, Tcp };

// What happens to a network printer's connections, as state.json counts them.
enum class ConnectionEvent {
    Accepted, // a client is served
    Closed,   // the client closed its end or reset it
    Refused,  // a second client while one is served (--busy refuse)
    IdleDrop, // reset after being left idle
};

// How the printer answers a command that asks for an answer.
enum class AnswerMode {
    Correct, // the right bytes
    Wrong,   // bytes of the right length but the wrong value
    Short,   // only the first bytes (1C AA, or the first five of six)
    Late,    // the right bytes after `lateMs`
    Silent,  // nothing
};

struct AnswerConfig {
    AnswerMode mode = AnswerMode::Correct;
    int lateMs = 0;
    // Used by Wrong when not empty; otherwise the right bytes with each
    // byte inverted.
    std::vector<uint8_t> wrongBytes;
};

// An answer the printer wants to send, and how long after the command.
struct Answer {
    std::vector<uint8_t> bytes;
    int delayMs = 0;
};

// What a serial transport saw of the line when it read a chunk. A sender
// that changes the speed right after writing (the font download's switch
// from 9600 to 38400 baud) may have done so before the chunk was read.
struct LineInfo {
    unsigned baud = 0;   // 0 when unknown (not a serial line)
    bool rtscts = false; // hardware flow control on
};

enum class DownloadKind { Firmware, Font };

struct DownloadSession {
    DownloadKind kind = DownloadKind::Firmware;
    uint64_t length = 0;
    std::string sha256; // lowercase hex, set when the session has ended
    bool open = true;
    unsigned baud = 0;  // line speed when the session started (serial only)
    std::string file;   // its bytes, beside state.json: "download-1-firmware.bin"; empty once dropped
    uint64_t kept = 0;  // bytes of it in that file: all, unless it outgrew what is kept
};

struct DrawerKick {
    uint8_t connector = 0; // m of ESC p m t1 t2
    uint8_t onTime = 0;    // in 2 ms units
    uint8_t offTime = 0;
};

// The drawer connector pin ESC p's m drives: 0 or 48 pin 2, 1 or 49 pin 5,
// 0 for any other m.
int drawerPin(uint8_t connector);

struct Cut {
    bool full = true;
    std::string command; // "ESC i", "ESC m", "GS V 66 01", ...
};

// Serial speeds by the index 1C AA 22 sets.
inline constexpr unsigned kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400};

struct PrinterState {
    // ESC ! print mode byte and FS ! Chinese mode byte.
    uint8_t printMode = 0;
    bool chineseMode = true;
    uint8_t chineseModeByte = 0;
    uint8_t charSpacing = 0;  // ESC SP, dots
    uint8_t lineSpacing = 30; // ESC 3, motion units
    bool unidirectional = false;
    // ESC t n; -1 until one is chosen (or after ESC @): bytes 80-FF of text
    // outside Chinese mode then read as Latin-1.
    int codeTable = -1;
    std::string machineNumber;
    bool blackMark = false;
    // Black-mark distances in 0.176 mm units: between two marks (1C AA 12),
    // mark to print head (1C AA 13), cutting position (1C AA 14). -1 = never set.
    int markDistance = -1;
    int headOffset = -1;
    int cutOffset = -1;
    std::optional<bool> cutter;
    int baudIndex = -1;
    std::array<uint8_t, 6> storedString{};
    bool storedStringSet = false;
    // The last kMaxListed of each; the counts cover all.
    static constexpr size_t kMaxListed = 1000;
    std::vector<DownloadSession> downloads;
    std::vector<DrawerKick> drawerKicks;
    std::vector<Cut> cuts;
    uint64_t drawerKickCount = 0;
    uint64_t cutCount = 0;
    // The conditions the printer reports (StatusCondition bits, sim/status.h).
    unsigned status = 0;
    int machineNumberPrints = 0;
    int blackMarkFeeds = 0;
    int carriageDrives = 0;
    int paperFeedDrives = 0;
    int pinDrives = 0;
    uint64_t bytesReceived = 0;
    uint64_t unknownCommands = 0;
    struct Connections {
        uint64_t accepted = 0, closed = 0, refused = 0, idleDrops = 0;
    } connections;
};

struct PrinterOptions {
    Transport transport = Transport::File;
    int paperDots = 384;                           // 384 (58 mm) or 576 (80 mm)
    std::chrono::milliseconds downloadQuiet{2000}; // a download ends after this much silence
    AnswerConfig preambleAnswer;                   // 1C AA AA after 1C AA 0D (serial only)
    AnswerConfig readStringAnswer;                 // the stored six bytes after 1B 1D 00 02
    // Wait before the preamble answer goes out (Late adds lateMs). An
    // answer sent while the sender reopens the line at its new speed is
    // kept by the line and read after the reopening.
    int preambleAnswerDelayMs = 0;
    // The printer starts in its firmware-download state, as one switched on
    // for an update over USB, where no 1C AA 55 01 comes first.
    bool awaitFirmware = false;
    // The conditions it reports from the start (StatusCondition bits).
    unsigned status = 0;
    // The answers to GS I 1, 2, 3: one byte each. The type's bits: 0 two-byte
    // characters, 1 an autocutter; 4 and 7 are always 0.
    uint8_t modelId = 0x20;
    uint8_t typeId = 0x03;
    uint8_t versionId = 0x10;
    // The first bytes received kept for received(); the count covers all.
    size_t keepReceived = size_t(16) << 20;
};

class Paper;

class Printer {
public:
    explicit Printer(PrinterOptions options = {});
    ~Printer();
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // Feeds received bytes. Any split of a stream into chunks gives the same
    // transcript and state (time aside: a download ends after a quiet gap).
    void feed(std::span<const uint8_t> bytes);
    void feed(std::span<const uint8_t> bytes, Clock::time_point now, LineInfo line = {});
    void feed(const std::vector<uint8_t>& bytes) { feed(std::span<const uint8_t>(bytes)); }
    // Ends a download whose line has been quiet long enough. The serial and
    // USB transports call it every few milliseconds; a test that feeds the
    // printer itself (or through a ParallelPort) calls it, or flush().
    void tick(Clock::time_point now = Clock::now());
    // End of input: an open download ends, an incomplete command at the end
    // is logged as truncated, a line not yet printed is printed.
    void flush();
    // The line was closed by the sender: ends an open download that has data.
    void lineClosed();

    // Answers the printer prepared since the last call, in order.
    std::vector<Answer> takeAnswers();
    // Called (under no lock of the printer) whenever an answer is prepared.
    void setAnswerListener(std::function<void()> listener);

    // Replaces every option, the transport included.
    void setOptions(const PrinterOptions& options);
    // Changes only how the printer answers, e.g. on a running transport.
    void setAnswers(const AnswerConfig& preamble, const AnswerConfig& readString);
    PrinterOptions options() const;
    // Changes the conditions it reports (StatusCondition bits), e.g. while
    // it runs; a reset keeps them.
    void setStatus(unsigned status);
    // A transport's event: counted in state.json, `line` added to the transcript.
    void connectionEvent(ConnectionEvent event, const std::string& line);

    std::vector<std::string> transcript() const;
    std::string transcriptText() const;
    PrinterState state() const;
    std::string stateJson() const;
    // The bytes received, the first options().keepReceived of them.
    std::vector<uint8_t> received() const;
    // The bytes of download `index` of state().downloads (empty when none).
    std::vector<uint8_t> downloadData(size_t index) const;
    // Lines of the transcript that contain `needle`.
    size_t countLines(const std::string& needle) const;

    // Renders the paper; false with a reason on failure.
    bool renderPng(const std::string& path, std::string* error = nullptr) const;
    // Black dots of the paper as rows (true = black), for tests.
    std::vector<std::vector<bool>> paperDots() const;
    int paperWidth() const;
    int paperHeight() const;
    // Writes transcript.txt, paper.png and state.json into `dir` (created if
    // missing).
    bool writeOutputs(const std::string& dir, std::string* error = nullptr) const;

    // Bounded waits for a test thread.
    bool waitForBytes(uint64_t count, std::chrono::milliseconds timeout) const;
    bool waitForLine(const std::string& needle, std::chrono::milliseconds timeout) const;
    bool waitFor(const std::function<bool(const PrinterState&)>& predicate,
                 std::chrono::milliseconds timeout) const;

    // Removes everything received and printed; the state goes back to power-on.
    void reset();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// "1B 40 0A" for bytes.
std::string hexBytes(std::span<const uint8_t> bytes);
// state.json's text for `state`.
std::string stateJson(const PrinterState& state);

} // namespace sim
