// The per-user serial store: which device each COM name stands for and the
// stored default configuration of each, in <Config>/serial.conf as INI text
// a technician can read and edit:
//
//   [COM1]
//   device=/dev/ttyUSB0      the user's own mapping
//   baud=19200               the line settings: speed,
//   data=7                   data bits (5 ... 8),
//   parity=even              none, odd, even, mark or space,
//   stop=2                   1, 1.5 or 2,
//   flow=rts-cts             none, rts-cts (the port settings dialog's 硬件),
//                            xon-xoff (hardware and xonxoff read as these
//                            two, as mptest-cli spells them), or what
//                            another program may set:
//                            cts, dsr (watched before sending, without
//                            handshakes); several joined by commas
//   claim.4242.81234567=/dev/pts/5
//                            a mapping a running program holds (the virtual
//                            printer's --as): process 4242, which started at
//                            clock tick 81234567 after boot
//
// A COM name opens the newest claim whose program still runs, else device=,
// else <Dev>/ttyS<n-1>. A claim never overwrites device=, so whichever
// program ends last, or one killed outright, leaves the user's mapping as it
// was; the next rewrite drops the claims of programs that have ended.
// Stores written before the line settings were readable hold them as
// config=<the 52-byte COMMCONFIG in hex>, and a mapping made by a running
// program as device= with owner=/owner-start=: both are still read, and
// the first rewrite puts them in the form above.
//
// Everyone reads section names the same way, here: "[com1]", "[ COM1 ]" and
// "[COM1]" are one section, and duplicates are merged (a later key wins) and
// written back as one. A file saved by another editor may start with a UTF-8
// byte-order mark and end its lines with CR LF. A malformed section header or
// entry is told to the user once per process (PlatNotice: stderr and a
// message), however often it is read and wherever a rewrite moves it, can be
// listed, and is treated as absent; its text is kept. A malformed line
// setting leaves the whole configuration at the defaults, never half-used.
//
// Unknown keys, sections and comments survive a rewrite. Every rewrite holds
// a lock on the store's folder (every writer in every process takes it), goes
// to a temporary file in the same folder, is flushed to disk and renamed over
// the old file, so no writer loses another's change and a crash leaves the
// old store or the new, never half of one. Readers never write, and a
// rewrite that changes nothing writes nothing.
#include "platform/linux/kernel.h"
#include "platform/comdevices.h"
#include "platform/linux/notices.h"
#include "platform/linux/roots.h"
#include "platform/linux/serialstore.h"
#include "port/line_settings.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using plat::Fail;

namespace {

constexpr DWORD kConfigSize = sizeof(COMMCONFIG);

std::mutex gStoreLock; // one rewrite at a time within the process

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

std::string StoreDir()
{
    return PlatRootPath(PlatRoot::Config);
}

std::string StorePath()
{
    return StoreDir() + "/serial.conf";
}

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

// A text with its control characters shown as \xNN, for a message.
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

// The canonical section name of a COM name ("com3", "\\.\COM3" -> "COM3").
std::string CanonicalName(const char* name)
{
    unsigned n = plat::ComNumber(name);
    return n == 0 ? std::string() : "COM" + std::to_string(n);
}

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

// Removes the blank lines that end the section before `at`.
void TrimEnd(Store& store, Store::iterator at)
{
    if (at == store.begin())
        return;
    auto& before = std::prev(at)->lines;
    while (!before.empty() && Trim(before.back().text).empty())
        before.pop_back();
}

// Sets (or with an empty value removes) one key in one section.
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

// The start time of a running process (clock ticks after boot, field 22 of
// <Proc>/PID/stat); nothing when it does not run or has ended unreaped.
std::optional<std::string> ProcessStart(unsigned long long pid)
{
    std::ifstream f(PlatRootPath(PlatRoot::Proc) + "/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(f, stat))
        return std::nullopt;
    const size_t paren = stat.rfind(')'); // the command name may hold anything
    if (paren == std::string::npos)
        return std::nullopt;
    std::istringstream fields(stat.substr(paren + 1));
    std::string field, state;
    fields >> state; // field 3
    if (state == "Z" || state == "X")
        return std::nullopt;
    for (int i = 4; i <= 22 && fields >> field; ++i) {
    }
    return field;
}

// Whether the program that made a mapping still runs: the process number
// alone may by now belong to another program, so its start time must match
// too when it was recorded.
bool Runs(unsigned long long pid, const std::optional<std::string>& start)
{
    const auto running = ProcessStart(pid);
    return running && (!start || *running == *start);
}

std::string OwnStart()
{
    return ProcessStart(static_cast<unsigned long long>(getpid())).value_or("");
}

// ---------------------------------------------------------------- claims
constexpr char kClaimPrefix[] = "claim.";

// A claim line: "claim.PID.START=DEVICE" (".START" may be missing).
struct ClaimLine {
    std::string key;
    unsigned long long pid = 0;
    std::optional<std::string> start;
    std::string device;
};

bool IsClaimKey(const std::string& key)
{
    return key.rfind(kClaimPrefix, 0) == 0;
}

std::string ClaimKey(pid_t pid, const std::string& start)
{
    return kClaimPrefix + std::to_string(pid) + (start.empty() ? "" : "." + start);
}

// False when the line is no well-formed claim.
bool ParseClaim(const Line& l, ClaimLine* c)
{
    const std::string rest = l.key.substr(sizeof kClaimPrefix - 1);
    const size_t dot = rest.find('.');
    unsigned long long start = 0;
    if (!ParseNumber(rest.substr(0, dot), &c->pid) || c->pid == 0 ||
        (dot != std::string::npos && !ParseNumber(rest.substr(dot + 1), &start)))
        return false;
    c->key = l.key;
    if (dot != std::string::npos)
        c->start = rest.substr(dot + 1);
    c->device = ValueOf(l);
    return !c->device.empty() && c->device[0] == '/' && !HasControl(c->device);
}

// The well-formed claims of a section, oldest first.
std::vector<ClaimLine> Claims(const Store& store, const std::string& section)
{
    std::vector<ClaimLine> claims;
    if (const Section* s = FindSection(store, section))
        for (const Line& l : s->lines) {
            ClaimLine c;
            if (IsClaimKey(l.key) && ParseClaim(l, &c))
                claims.push_back(c);
        }
    return claims;
}

// ---------------------------------------------------------------- line settings
// What each key takes, for the message about a bad value.
constexpr const char* kSettingValues[] = {
    "应为串口速度，如 9600、19200、115200",
    "应为 5 到 8",
    "应为 none、odd、even、mark 或 space",
    "应为 1、1.5 或 2",
    "应为 none、rts-cts 或 xon-xoff（或 cts、dsr，可用逗号连接）",
};

void DefaultConfig(COMMCONFIG& c)
{
    std::memset(&c, 0, sizeof c);
    c.dwSize = kConfigSize;
    c.wVersion = 1;
    c.dcb.DCBlength = sizeof(DCB);
    c.dcb.BaudRate = CBR_9600;
    c.dcb.fBinary = 1;
    c.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    c.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    c.dcb.XonLim = 2048;
    c.dcb.XoffLim = 512;
    c.dcb.ByteSize = 8;
    c.dcb.Parity = NOPARITY;
    c.dcb.StopBits = ONESTOPBIT;
    c.dcb.XonChar = 0x11;
    c.dcb.XoffChar = 0x13;
    c.dwProviderSubType = PST_RS232;
}

// Reads one key's word into `d`: a speed counts when some line has it.
bool ReadSetting(LineKey key, const std::string& word, DCB& d)
{
    DCB read = d;
    if (!ReadKeyedLineSetting(key, word, read) ||
        (key == LINE_BAUD && plat::DcbError(read) == ERROR_INVALID_PARAMETER))
        return false;
    d = read;
    return true;
}

bool FromHex(const std::string& s, void* data, size_t n)
{
    if (s.size() != 2 * n)
        return false;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    auto* b = static_cast<unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        int hi = nibble(s[2 * i]), lo = nibble(s[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        b[i] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return true;
}

// An old store's config= blob. It counts only when a serial line could take
// it: one that SetCommState would refuse as nonsense would leave the line at
// its old speed. (1.5 stop bits are the program's own choice; the line
// refuses them when it is set, and says so.)
bool ConfigFromHex(const std::string& s, COMMCONFIG* c)
{
    COMMCONFIG stored;
    if (!FromHex(s, &stored, sizeof stored) || stored.dwSize != kConfigSize || stored.dcb.DCBlength != sizeof(DCB) ||
        plat::DcbError(stored.dcb) == ERROR_INVALID_PARAMETER)
        return false;
    *c = stored;
    return true;
}

bool HasSettingKeys(const Store& store, const std::string& section)
{
    for (const char* key : kLineKeys)
        if (FindLine(store, section, key) != nullptr)
            return true;
    return false;
}

// Writes a configuration's line settings into a section, where an old
// config= blob stood if there is one (the blob goes).
void SetSettings(Store& store, const std::string& section, const DCB& d)
{
    const std::array<std::string, 5> values = KeyedLineSettings(d);
    for (auto& s : store) {
        if (s.name != section)
            continue;
        auto blob = std::find_if(s.lines.begin(), s.lines.end(), [](const Line& l) { return l.key == "config"; });
        if (blob == s.lines.end())
            break;
        auto at = s.lines.erase(blob);
        for (const char* key : kLineKeys)
            if (FindLine(store, section, key) == nullptr)
                at = std::next(s.lines.insert(at, Line{std::string(key) + "=x", key, 0}));
        break;
    }
    for (size_t i = 0; i < values.size(); ++i)
        SetValue(store, section, kLineKeys[i], values[i]);
}

// ---------------------------------------------------------------- reading
// What a COM section says, checked: the device it maps to (empty when it has
// none that counts) and its configuration.
struct Entry {
    std::string device;
    std::optional<COMMCONFIG> config;
};

Entry ReadEntry(const Store& store, const std::string& section, Problems* problems)
{
    Entry e;
    auto problem = [&](const Line* l, const std::string& what, const char* unused = "，此项不被使用") {
        if (problems != nullptr)
            problems->push_back({"第 " + std::to_string(l->number) + " 行",
                                 " [" + section + "] " + Shown(Trim(l->text)) + "：" + what + unused});
    };
    if (const Line* l = FindLine(store, section, "device")) {
        const std::string device = ValueOf(*l);
        const Line* owner = FindLine(store, section, "owner");
        const Line* start = FindLine(store, section, "owner-start");
        unsigned long long pid = 0, ticks = 0;
        if (device.empty()) {
            // No mapping: the default device.
        } else if (device[0] != '/' || HasControl(device)) {
            problem(l, "设备必须是绝对路径");
        } else if (owner != nullptr && !(ParseNumber(ValueOf(*owner), &pid) && pid > 0)) {
            problem(owner, "应为进程号");
        } else if (start != nullptr && !ParseNumber(ValueOf(*start), &ticks)) {
            problem(start, "应为进程的启动时间");
        } else if (owner == nullptr ||
                   Runs(pid, start ? std::optional<std::string>(ValueOf(*start)) : std::nullopt)) {
            // An old store's claim counts while its program runs: once it
            // has ended, the pseudo-terminal may be someone's terminal.
            e.device = device;
        }
    }
    if (const Section* s = FindSection(store, section))
        for (const Line& l : s->lines) {
            ClaimLine c;
            if (!IsClaimKey(l.key))
                continue;
            if (!ParseClaim(l, &c))
                problem(&l, "应为 claim.进程号.启动时间=设备的绝对路径");
            else if (Runs(c.pid, c.start))
                e.device = c.device;
        }
    if (HasSettingKeys(store, section)) {
        COMMCONFIG c;
        DefaultConfig(c);
        bool good = true;
        for (size_t i = 0; i < kLineKeys.size(); ++i)
            if (const Line* l = FindLine(store, section, kLineKeys[i]);
                l && !ReadSetting(LineKey(i), ValueOf(*l), c.dcb)) {
                problem(l, kSettingValues[i], "；这一节的串口设置都按默认值（9600、8、none、1、none）");
                good = false;
            }
        if (good)
            e.config = c;
    } else if (const Line* l = FindLine(store, section, "config")) {
        COMMCONFIG c;
        if (ConfigFromHex(ValueOf(*l), &c))
            e.config = c;
        else
            problem(l, "不是有效的串口设置");
    }
    return e;
}

bool IsComSection(const Section& s)
{
    return !s.name.empty() && plat::ComNumber(s.name.c_str()) != 0;
}

// Every problem of a store's text: malformed headers, then the entries of
// each COM section.
Problems FindProblems(const std::string& text)
{
    Problems problems;
    Store store = Parse(text, &problems);
    for (const auto& s : store)
        if (IsComSection(s))
            ReadEntry(store, s.name, &problems);
    return problems;
}

// Tells the user of each problem not told before in this process, all in
// one notice. The caller holds no lock: the notice may wait for the user.
void Report(const Problems& problems)
{
    static std::mutex lock;
    static std::set<std::string> told; // the store's path and what each fault is
    const std::string path = StorePath();
    std::string text;
    {
        std::lock_guard<std::mutex> g(lock);
        for (const Problem& p : problems)
            if (told.insert(path + "\n" + p.what).second)
                text += "\n" + p.where + p.what;
    }
    if (!text.empty())
        PlatNotice("串口设置文件 " + path + " 有错误：" + text);
}

std::string ReadText()
{
    std::ifstream f(StorePath(), std::ios::binary);
    if (!f)
        return {};
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Reads the store; a missing or unreadable file is an empty store. Its
// problems are reported.
Store ReadStore()
{
    const std::string text = ReadText();
    Report(FindProblems(text));
    return Parse(text, nullptr);
}

// ---------------------------------------------------------------- writing
// Puts every COM section in the current form: an old config= blob becomes
// readable line settings, an old owned mapping a claim, and the claims of
// programs that have ended go. What is malformed stays as it stands.
void Modernise(Store& store)
{
    std::vector<std::string> names;
    for (const auto& s : store)
        if (IsComSection(s))
            names.push_back(s.name);
    for (const std::string& name : names) {
        if (const Line* l = FindLine(store, name, "config")) {
            COMMCONFIG c;
            if (HasSettingKeys(store, name))
                SetValue(store, name, "config", ""); // the newer keys win
            else if (ConfigFromHex(ValueOf(*l), &c))
                SetSettings(store, name, c.dcb);
        }
        const auto owner = FindValue(store, name, "owner");
        const auto start = FindValue(store, name, "owner-start");
        const auto device = FindValue(store, name, "device");
        unsigned long long pid = 0, ticks = 0;
        if (owner && device && ParseNumber(*owner, &pid) && pid > 0 && (!start || ParseNumber(*start, &ticks))) {
            // What such a claim replaced was never stored: under it is no mapping.
            if (Runs(pid, start) && !device->empty() && (*device)[0] == '/' && !HasControl(*device))
                SetValue(store, name, kClaimPrefix + *owner + (start ? "." + *start : ""), *device);
            for (const char* key : {"device", "owner", "owner-start"})
                SetValue(store, name, key, "");
        }
        for (const ClaimLine& c : Claims(store, name))
            if (!Runs(c.pid, c.start))
                SetValue(store, name, c.key, "");
    }
}

bool MakeDirs(const std::string& dir)
{
    if (dir.empty())
        return false;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? true : (errno = ENOTDIR, false);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file `path` names, its symbolic links followed (also to a file not yet
// there); a loop of links stops at its 40th, whose rename then fails.
std::string LinkTarget(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::string next(4096, '\0');
        const ssize_t n = readlink(path.c_str(), next.data(), next.size());
        if (n < 0 || static_cast<size_t>(n) >= next.size())
            break;
        next.resize(static_cast<size_t>(n));
        path = next.front() == '/' ? next : path.substr(0, path.find_last_of('/') + 1) + next;
    }
    return path;
}

// Writes `text` as the store, through a temporary file renamed over it. A
// store that is a symbolic link is written through it: the file it leads to
// is replaced, from its own folder, keeping its permissions, and the link
// stays. False with errno set; the old store is then untouched.
bool WriteStore(const std::string& dir, int dirFd, const std::string& text)
{
    const std::string target = LinkTarget(StorePath());
    const std::string targetDir = target.substr(0, target.find_last_of('/'));
    std::string tmp = targetDir + "/.serial.conf.XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return false;
    struct stat old;
    const mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
    int err = errno;
    ok = (close(fd) == 0) && ok;
    if (ok) {
        ok = rename(tmp.c_str(), target.c_str()) == 0;
        err = errno;
    }
    if (!ok) {
        unlink(tmp.c_str());
        errno = err;
        return false;
    }
    // The rename itself reaches the disk.
    if (targetDir == dir) {
        fsync(dirFd);
    } else if (int targetDirFd = open(targetDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); targetDirFd >= 0) {
        fsync(targetDirFd);
        close(targetDirFd);
    }
    return true;
}

// Reads, modernises, changes and writes back the store under a lock on its
// folder, which every process writing this store takes too (mptest and the
// virtual printer both come here). False with the last error set when the
// store cannot be written; the old store is then untouched.
template <class Change>
bool UpdateStore(Change change)
{
    Problems problems;
    const bool ok = [&] {
        std::lock_guard<std::mutex> g(gStoreLock);
        const std::string dir = StoreDir();
        if (!MakeDirs(dir)) {
            SetLastError(plat::ErrorFromErrno(errno));
            if (GetLastError() == ERROR_FILE_NOT_FOUND)
                SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) {
            plat::FailErrno();
            return false;
        }
        while (flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
        }
        const std::string before = ReadText();
        problems = FindProblems(before);
        Store store = Parse(before, nullptr);
        Modernise(store);
        change(store);
        const std::string text = Serialize(store);
        errno = 0;
        const bool written = text == before || WriteStore(dir, dirFd, text);
        const int err = errno;
        flock(dirFd, LOCK_UN);
        close(dirFd);
        if (!written)
            SetLastError(err == 0 ? ERROR_WRITE_FAULT : plat::ErrorFromErrno(err));
        return written;
    }();
    Report(problems); // with no lock held: the notice may wait for the user
    return ok;
}

// Removes this process's claims on a section.
void RemoveOwnClaims(Store& store, const std::string& section)
{
    const unsigned long long me = static_cast<unsigned long long>(getpid());
    for (const ClaimLine& c : Claims(store, section))
        if (c.pid == me)
            SetValue(store, section, c.key, "");
}

// Devices given to COM names for this process alone (mptest-cli --port
// /dev/...), ahead of the store.
std::mutex gProcessDevicesLock;
std::vector<std::pair<std::string, std::string>> gProcessDevices; // guarded by gProcessDevicesLock

} // namespace

namespace plat {

// The device a COM number opens: the stored one, else /dev/ttyS<n-1>.
std::string PlatComDeviceFor(unsigned n)
{
    std::string name = "COM" + std::to_string(n);
    {
        std::lock_guard<std::mutex> g(gProcessDevicesLock);
        for (const auto& [com, device] : gProcessDevices)
            if (com == name)
                return device;
    }
    Entry e = ReadEntry(ReadStore(), name, nullptr);
    if (!e.device.empty())
        return e.device;
    return PlatRootPath(PlatRoot::Dev) + "/ttyS" + std::to_string(n - 1);
}

} // namespace plat

std::string PlatComDevice(const std::string& comName)
{
    unsigned n = plat::ComNumber(comName.c_str());
    return n == 0 ? std::string() : plat::PlatComDeviceFor(n);
}

bool PlatUseComDevice(const std::string& comName, const std::string& device)
{
    std::string name = CanonicalName(comName.c_str());
    if (name.empty() || HasControl(device)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::lock_guard<std::mutex> g(gProcessDevicesLock);
    std::erase_if(gProcessDevices, [&](const auto& entry) { return entry.first == name; });
    if (!device.empty())
        gProcessDevices.emplace_back(name, device);
    return true;
}

bool PlatComDeviceTyped(const std::string& comName)
{
    const std::string name = CanonicalName(comName.c_str());
    std::lock_guard<std::mutex> g(gProcessDevicesLock);
    return std::any_of(gProcessDevices.begin(), gProcessDevices.end(),
                       [&](const auto& entry) { return entry.first == name; });
}

bool PlatSetComDevice(const std::string& comName, const std::string& device)
{
    std::string name = CanonicalName(comName.c_str());
    if (name.empty() || device.find('\n') != std::string::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The user's own choice: it lasts until changed, and the claims of
    // running programs give way to it.
    return UpdateStore([&](Store& s) {
        for (const ClaimLine& c : Claims(s, name))
            SetValue(s, name, c.key, "");
        SetValue(s, name, "owner", "");
        SetValue(s, name, "owner-start", "");
        SetValue(s, name, "device", Trim(device));
    });
}

bool PlatClaimComDevice(const std::string& comName, const std::string& device, unsigned long* displaced)
{
    if (displaced != nullptr)
        *displaced = 0;
    std::string name = CanonicalName(comName.c_str());
    if (name.empty() || device.empty() || device[0] != '/' || HasControl(device)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return UpdateStore([&](Store& s) {
        RemoveOwnClaims(s, name);
        // Modernised, the store holds only the claims of running programs.
        const std::vector<ClaimLine> others = Claims(s, name);
        if (displaced != nullptr && !others.empty())
            *displaced = static_cast<unsigned long>(others.back().pid);
        SetValue(s, name, ClaimKey(getpid(), OwnStart()), device);
    });
}

bool PlatReleaseComDevice(const std::string& comName)
{
    std::string name = CanonicalName(comName.c_str());
    // Until the rewrite succeeds the claim stays in the store, so a release
    // that failed can be tried again, and a later rewrite after this process
    // ends drops it.
    return name.empty() || UpdateStore([&](Store& s) { RemoveOwnClaims(s, name); });
}

std::vector<std::string> PlatSerialStoreProblems()
{
    std::vector<std::string> sentences;
    for (const Problem& p : FindProblems(ReadText()))
        sentences.push_back(p.where + p.what);
    return sentences;
}

BOOL GetDefaultCommConfigA(LPCSTR name, LPCOMMCONFIG config, LPDWORD size)
{
    if (config == nullptr || size == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string section = CanonicalName(name);
    if (section.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    if (*size < kConfigSize) {
        *size = kConfigSize;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    COMMCONFIG c;
    DefaultConfig(c);
    // A malformed entry reads as the defaults, not as half of itself.
    if (Entry e = ReadEntry(ReadStore(), section, nullptr); e.config)
        c = *e.config;
    std::memcpy(config, &c, kConfigSize);
    *size = kConfigSize;
    return TRUE;
}

BOOL SetDefaultCommConfigA(LPCSTR name, LPCOMMCONFIG config, DWORD size)
{
    if (config == nullptr || size < kConfigSize)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string section = CanonicalName(name);
    if (section.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    // Only what the keys say is stored: the rest of the structure reads back
    // as the defaults.
    const DCB dcb = config->dcb;
    if (!UpdateStore([&](Store& s) { SetSettings(s, section, dcb); }))
        return FALSE;
    return TRUE;
}

std::string PlatSettingsFolder()
{
    return PlatRootPath(PlatRoot::Config);
}

std::string PlatSerialStoreLocation()
{
    return StorePath();
}
