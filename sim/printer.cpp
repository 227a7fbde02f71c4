// The virtual KQ printer as the transports and tests use it: the decoder
// behind a lock, bounded waits on what it has decoded, and its outputs.
#include "sim/printer.h"

#include "sim/decoder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sim {

struct Printer::Impl {
    explicit Impl(PrinterOptions o) : decoder(std::move(o)) {}
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Decoder decoder;
    std::function<void()> answerListener;
};

Printer::Printer(PrinterOptions options) : d_(std::make_unique<Impl>(std::move(options))) {}
Printer::~Printer() = default;

void Printer::feed(std::span<const uint8_t> bytes) { feed(bytes, Clock::now()); }

void Printer::feed(std::span<const uint8_t> bytes, Clock::time_point now, LineInfo line)
{
    std::function<void()> listener;
    {
        std::lock_guard lock(d_->mutex);
        const uint64_t answersBefore = d_->decoder.answersQueued;
        d_->decoder.feed(bytes, now, line);
        if (d_->decoder.answersQueued != answersBefore)
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
        d_->decoder.checkQuiet(now);
    }
    d_->changed.notify_all();
}

void Printer::flush()
{
    {
        std::lock_guard lock(d_->mutex);
        d_->decoder.flush(Clock::now());
    }
    d_->changed.notify_all();
}

void Printer::lineClosed()
{
    {
        std::lock_guard lock(d_->mutex);
        d_->decoder.lineClosed();
    }
    d_->changed.notify_all();
}

std::vector<Answer> Printer::takeAnswers()
{
    std::lock_guard lock(d_->mutex);
    std::vector<Answer> out;
    out.swap(d_->decoder.answers);
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
    Decoder& d = d_->decoder;
    const bool newPaper = options.paperDots != d.options.paperDots;
    d.options = options;
    d.state.status = options.status;
    if (newPaper)
        d.paper = Paper(options.paperDots);
}

void Printer::setAnswers(const AnswerConfig& preamble, const AnswerConfig& readString)
{
    std::lock_guard lock(d_->mutex);
    d_->decoder.options.preambleAnswer = preamble;
    d_->decoder.options.readStringAnswer = readString;
}

PrinterOptions Printer::options() const
{
    std::lock_guard lock(d_->mutex);
    return d_->decoder.options;
}

void Printer::setStatus(unsigned status)
{
    {
        std::lock_guard lock(d_->mutex);
        d_->decoder.state.status = status;
    }
    d_->changed.notify_all();
}

void Printer::connectionEvent(ConnectionEvent event, const std::string& line)
{
    {
        std::lock_guard lock(d_->mutex);
        PrinterState::Connections& c = d_->decoder.state.connections;
        uint64_t* counts[] = {&c.accepted, &c.closed, &c.refused, &c.idleDrops};
        ++*counts[size_t(event)];
        d_->decoder.log(line);
    }
    d_->changed.notify_all();
}

std::vector<std::string> Printer::transcript() const
{
    std::lock_guard lock(d_->mutex);
    return d_->decoder.transcript.lines();
}

std::string Printer::transcriptText() const
{
    std::ostringstream text;
    std::lock_guard lock(d_->mutex);
    d_->decoder.transcript.write(text);
    return text.str();
}

PrinterState Printer::state() const
{
    std::lock_guard lock(d_->mutex);
    return d_->decoder.state;
}

std::string Printer::stateJson() const { return sim::stateJson(state()); }

std::vector<uint8_t> Printer::received() const
{
    std::lock_guard lock(d_->mutex);
    return d_->decoder.received;
}

size_t Printer::countLines(const std::string& needle) const
{
    std::lock_guard lock(d_->mutex);
    return d_->decoder.transcript.count(needle);
}

bool Printer::renderPng(const std::string& path, std::string* error) const
{
    Paper copy(0);
    {
        std::lock_guard lock(d_->mutex);
        copy = d_->decoder.paper;
    }
    return copy.writePng(path, error);
}

std::vector<std::vector<bool>> Printer::paperDots() const
{
    Paper copy(0);
    {
        std::lock_guard lock(d_->mutex);
        copy = d_->decoder.paper;
    }
    return copy.dots();
}

int Printer::paperWidth() const
{
    std::lock_guard lock(d_->mutex);
    return d_->decoder.paper.width();
}

int Printer::paperHeight() const
{
    std::lock_guard lock(d_->mutex);
    return d_->decoder.paper.height();
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
    // Each file whole or not at all: written beside, then renamed.
    auto writeFile = [&](const std::string& name, const std::function<void(std::ostream&)>& write) {
        const std::string path = dir + "/" + name;
        const std::string tmp = path + ".tmp";
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        write(f);
        f.close();
        if (!f || std::rename(tmp.c_str(), path.c_str()) != 0) {
            if (error)
                *error = "cannot write " + path;
            return false;
        }
        return true;
    };
    const std::string json = stateJson();
    if (!writeFile("state.json", [&](std::ostream& f) { f << json; }))
        return false;
    {
        // Straight from what the printer holds, under its lock: a copy of a
        // full transcript and of the downloads would double what a long
        // session holds, just to write it.
        std::lock_guard lock(d_->mutex);
        const Decoder& d = d_->decoder;
        if (!writeFile("transcript.txt", [&](std::ostream& f) { d.transcript.write(f); }))
            return false;
        for (size_t i = 0; i < d.state.downloads.size(); ++i) {
            if (d.state.downloads[i].file.empty())
                continue; // its bytes were not kept
            const std::span<const uint8_t> bytes = d.downloads.bytes(i);
            if (!writeFile(d.state.downloads[i].file, [&](std::ostream& f) {
                    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
                }))
                return false;
        }
    }
    return renderPng(dir + "/paper.png", error);
}

std::vector<uint8_t> Printer::downloadData(size_t index) const
{
    std::lock_guard lock(d_->mutex);
    const std::span<const uint8_t> bytes = d_->decoder.downloads.bytes(index);
    return {bytes.begin(), bytes.end()};
}

bool Printer::waitForBytes(uint64_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d_->mutex);
    return d_->changed.wait_for(lock, timeout, [&] { return d_->decoder.state.bytesReceived >= count; });
}

bool Printer::waitForLine(const std::string& needle, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d_->mutex);
    return d_->changed.wait_for(lock, timeout, [&] { return d_->decoder.transcript.count(needle) > 0; });
}

bool Printer::waitFor(const std::function<bool(const PrinterState&)>& predicate,
                      std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d_->mutex);
    return d_->changed.wait_for(lock, timeout, [&] { return predicate(d_->decoder.state); });
}

void Printer::reset()
{
    std::lock_guard lock(d_->mutex);
    d_->decoder.reset();
}

} // namespace sim
