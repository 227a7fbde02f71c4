// The transcript: one line per decoded command, as transcript.txt shows
// them. The first lines of a session are kept, up to a number of lines and
// of bytes, so that a session of any length holds bounded memory; the lines
// after that are counted.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace sim {

class Transcript {
public:
    static constexpr size_t kMaxLines = 200000;
    static constexpr size_t kMaxBytes = size_t(16) << 20;

    void add(std::string line);
    const std::vector<std::string>& lines() const { return lines_; }
    // Lines not kept, past a cap.
    uint64_t dropped() const { return dropped_; }
    size_t bytes() const { return bytes_; }
    // transcript.txt: every kept line, then how many were not kept.
    void write(std::ostream& out) const;
    std::string text() const;
    // Kept lines that contain `needle`.
    size_t count(const std::string& needle) const;
    void clear();

private:
    std::vector<std::string> lines_;
    size_t bytes_ = 0;
    uint64_t dropped_ = 0;
};

// "1B" for one byte.
std::string hex2(uint8_t b);
// `s` in double quotes, with " and \ escaped.
std::string quoted(const std::string& s);

} // namespace sim
