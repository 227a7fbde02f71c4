// The serial store's INI model: parsing, merging sections and keys,
// changing keys and writing the text back.
#include "platform/linux/serialstore_ini.h"
#include "platform/linux/kernel.h"

#include <cstdio>
#include <sstream>

namespace plat::store {

namespace {

// The one reading of a section header's name: surrounding blanks do not
// count and a COM name is canonical. Empty when the name is malformed
// (empty, control characters, brackets inside).
std::string SectionName(const std::string& inner)
{
    const std::string name = Trim(inner);
    if (name.empty() || HasControl(name) || name.find_first_of("[]") != std::string::npos)
        return {};
    const std::string com = CanonicalName(name.c_str());
    return com.empty() ? name : com;
}

// Keeps the last of each key in a section, at the place of the first.
void MergeKeys(Section& s)
{
    std::vector<Line> kept;
    for (Line& l : s.lines) {
        Line* earlier = nullptr;
        if (!l.key.empty())
            for (Line& k : kept)
                if (k.key == l.key)
                    earlier = &k;
        if (earlier != nullptr)
            *earlier = std::move(l);
        else
            kept.push_back(std::move(l));
    }
    s.lines = std::move(kept);
}

// Removes the blank lines that end the section before `at`.
void TrimEnd(Store& store, Store::iterator at)
{
    if (at == store.begin())
        return;
    auto& before = std::prev(at)->lines;
    while (!before.empty() && Trim(before.back().text).empty())
        before.pop_back();
}

} // namespace

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool HasControl(const std::string& s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

std::string Shown(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string CanonicalName(const char* name)
{
    unsigned n = plat::ComNumber(name);
    return n == 0 ? std::string() : "COM" + std::to_string(n);
}

Store Parse(std::string text, Problems* problems)
{
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3); // a byte-order mark from an editor on Windows
    Store store(1);
    std::istringstream in(text);
    std::string raw;
    size_t number = 0;
    while (std::getline(in, raw)) {
        ++number;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        const std::string t = Trim(raw);
        if (!t.empty() && t.front() == '[') {
            const std::string name = t.back() == ']' ? SectionName(t.substr(1, t.size() - 2)) : std::string();
            if (name.empty() && problems != nullptr)
                problems->push_back({"第 " + std::to_string(number) + " 行", "的节名 " + Shown(t) + " 无效，这一节不被使用"});
            store.push_back(Section{name, name.empty() ? raw : std::string(), number, {}});
            continue;
        }
        Line line{raw, {}, number};
        size_t eq = t.find('=');
        if (!t.empty() && t[0] != ';' && t[0] != '#' && eq != std::string::npos)
            line.key = Trim(t.substr(0, eq));
        store.back().lines.push_back(std::move(line));
    }
    // Sections of one name become the first of them.
    for (size_t i = 1; i < store.size(); ++i) {
        if (store[i].name.empty())
            continue;
        for (size_t j = i + 1; j < store.size();) {
            if (store[j].name != store[i].name) {
                ++j;
                continue;
            }
            // Before the blank lines that end the first, without those that end the other.
            std::vector<Line>& into = store[i].lines;
            std::vector<Line>& from = store[j].lines;
            while (!from.empty() && Trim(from.back().text).empty())
                from.pop_back();
            auto at = into.end();
            while (at != into.begin() && Trim(std::prev(at)->text).empty())
                --at;
            into.insert(at, std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
            store.erase(store.begin() + static_cast<long>(j));
        }
        MergeKeys(store[i]);
    }
    return store;
}

std::string Serialize(const Store& store)
{
    std::string out;
    for (const auto& s : store) {
        if (!s.name.empty())
            out += "[" + s.name + "]\n";
        else if (!s.header.empty())
            out += s.header + "\n";
        for (const auto& l : s.lines)
            out += l.text + "\n";
    }
    return out;
}

const Section* FindSection(const Store& store, const std::string& name)
{
    for (const auto& s : store)
        if (s.name == name)
            return &s;
    return nullptr;
}

const Line* FindLine(const Store& store, const std::string& section, const std::string& key)
{
    if (const Section* s = FindSection(store, section))
        for (const auto& l : s->lines)
            if (l.key == key)
                return &l;
    return nullptr;
}

std::string ValueOf(const Line& l)
{
    return Trim(l.text.substr(l.text.find('=') + 1));
}

std::optional<std::string> FindValue(const Store& store, const std::string& section, const std::string& key)
{
    const Line* l = FindLine(store, section, key);
    if (l == nullptr)
        return std::nullopt;
    return ValueOf(*l);
}

void SetValue(Store& store, const std::string& section, const std::string& key, const std::string& value)
{
    Section* target = nullptr;
    for (auto& s : store)
        if (s.name == section)
            target = &s;
    if (target == nullptr) {
        if (value.empty())
            return;
        // A blank line between sections, as a person would write it.
        Section& last = store.back();
        if (!(last.name.empty() && last.header.empty() && last.lines.empty()) &&
            (last.lines.empty() || !Trim(last.lines.back().text).empty()))
            last.lines.push_back(Line{"", {}, 0});
        store.push_back(Section{section, {}, 0, {}});
        target = &store.back();
    }
    for (auto it = target->lines.begin(); it != target->lines.end(); ++it) {
        if (it->key != key)
            continue;
        if (!value.empty()) {
            it->text = key + "=" + value;
            return;
        }
        target->lines.erase(it);
        // A section left with nothing in it goes, with the blank line before it.
        for (const Line& l : target->lines)
            if (!Trim(l.text).empty())
                return;
        const auto at = store.begin() + (target - store.data());
        TrimEnd(store, at);
        store.erase(at);
        return;
    }
    if (value.empty())
        return;
    // After the section's last key, before any blank lines that end it.
    auto pos = target->lines.end();
    while (pos != target->lines.begin() && Trim(std::prev(pos)->text).empty())
        --pos;
    target->lines.insert(pos, Line{key + "=" + value, key, 0});
}

bool ParseNumber(const std::string& s, unsigned long long* out)
{
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = std::stoull(s);
    return true;
}

} // namespace plat::store
