// The serial store's text as an INI model: sections of lines, each line kept
// as it stands so that a rewrite keeps what it does not change, and the
// faults found in the text while it is read. Internal to the store
// (platform/linux/serialstore*.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plat::store {

struct Line {
    std::string text; // the line as it stands in the file, without CR LF
    std::string key;  // empty for comments, blank lines and section headers
    size_t number = 0;
};
struct Section {
    std::string name;   // canonical; empty before the first header and for a malformed one
    std::string header; // a malformed header as it stands, kept on rewrite
    size_t number = 0;
    std::vector<Line> lines;
};
using Store = std::vector<Section>;

// A fault of the store: where it is ("第 3 行") and what it is. The same
// fault keeps what it is when a rewrite moves it to another line.
struct Problem {
    std::string where, what;
};
using Problems = std::vector<Problem>;

std::string Trim(const std::string& s);
bool HasControl(const std::string& s);
// A text with its control characters shown as \xNN, for a message.
std::string Shown(const std::string& s);
// The canonical section name of a COM name ("com3", "\\.\COM3" -> "COM3"),
// empty for a name that is no COM port.
std::string CanonicalName(const char* name);
// A whole decimal number of at most 19 digits.
bool ParseNumber(const std::string& s, unsigned long long* out);

// Reads the text (a byte-order mark and CR LF are fine); sections of one
// name become the first of them, and a later key wins. A malformed header
// starts a section that is no section, and is added to `problems` when given.
Store Parse(std::string text, Problems* problems);
std::string Serialize(const Store& store);

const Section* FindSection(const Store& store, const std::string& name);
const Line* FindLine(const Store& store, const std::string& section, const std::string& key);
// A key line's value, without surrounding blanks.
std::string ValueOf(const Line& l);
std::optional<std::string> FindValue(const Store& store, const std::string& section, const std::string& key);
// Sets (or with an empty value removes) one key in one section: in place,
// else after the section's last key, in a new section at the end when there
// is none. A section left with nothing in it goes.
void SetValue(Store& store, const std::string& section, const std::string& key, const std::string& value);

} // namespace plat::store
