// The transcript and the ways bytes and text are written in it.
#include "sim/transcript.h"

#include "sim/printer.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>

namespace sim {

void Transcript::add(std::string line)
{
    if (lines_.size() >= kMaxLines || bytes_ + line.size() + 1 > kMaxBytes) {
        ++dropped_;
        return;
    }
    bytes_ += line.size() + 1;
    lines_.push_back(std::move(line));
}

void Transcript::write(std::ostream& out) const
{
    for (const std::string& l : lines_)
        out << l << '\n';
    if (dropped_)
        out << "(" << dropped_ << " more lines not kept)\n";
}

std::string Transcript::text() const
{
    std::ostringstream out;
    write(out);
    return out.str();
}

size_t Transcript::count(const std::string& needle) const
{
    return size_t(std::count_if(lines_.begin(), lines_.end(),
                                [&](const std::string& l) { return l.find(needle) != std::string::npos; }));
}

void Transcript::clear()
{
    lines_.clear();
    bytes_ = 0;
    dropped_ = 0;
}

std::string hex2(uint8_t b)
{
    char s[3];
    std::snprintf(s, sizeof s, "%02X", b);
    return s;
}

std::string hexBytes(std::span<const uint8_t> bytes)
{
    std::string s;
    s.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            s.push_back(' ');
        s += hex2(bytes[i]);
    }
    return s;
}

std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

} // namespace sim
