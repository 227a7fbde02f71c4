// The per-user serial store: which device each COM name stands for and the
// stored default configuration of each, in <Config>/serial.conf as INI text:
//
//   [COM1]
//   device=/dev/ttyUSB0
//   config=<the 52-byte COMMCONFIG as 104 lower-case hex digits>
//   owner=4242            (only for a mapping made by a running program,
//   owner-start=81234567   such as the virtual printer: its process id and
//                          start time; when it no longer runs the mapping
//                          counts as absent)
//
// Everyone reads section names the same way, here: "[com1]", "[ COM1 ]" and
// "[COM1]" are one section, and duplicates are merged (a later key wins) and
// written back as one. A file saved by another editor may start with a UTF-8
// byte-order mark and end its lines with CR LF. A malformed section header or
// entry is reported once per process on stderr, can be listed for the port
// settings dialog, and is treated as absent; its text is kept.
//
// Unknown keys, sections and comments survive a rewrite. Every rewrite holds
// a lock on the store's folder (every writer in every process takes it), goes
// to a temporary file in the same folder, is flushed to disk and renamed over
// the old file, so no writer loses another's change and a crash leaves the
// old store or the new, never half of one. Readers never write.
#include "platform/linux/kernel.h"
#include "platform/comdevices.h"
#include "platform/linux/notices.h"
#include "platform/linux/roots.h"
#include "platform/linux/serialstore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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

Store Parse(std::string text, std::vector<std::string>* problems)
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
                problems->push_back("第 " + std::to_string(number) + " 行的节名 " + Shown(t) +
                                    " 无效，这一节不被使用");
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

const Line* FindLine(const Store& store, const std::string& section, const std::string& key)
{
    for (const auto& s : store) {
        if (s.name != section)
            continue;
        for (const auto& l : s.lines)
            if (l.key == key)
                return &l;
    }
    return nullptr;
}

std::optional<std::string> FindValue(const Store& store, const std::string& section, const std::string& key)
{
    const Line* l = FindLine(store, section, key);
    if (l == nullptr)
        return std::nullopt;
    return Trim(l->text.substr(l->text.find('=') + 1));
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
        if (at != store.begin()) {
            auto& before = std::prev(at)->lines;
            while (!before.empty() && Trim(before.back().text).empty())
                before.pop_back();
        }
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

std::string OwnStart()
{
    return ProcessStart(static_cast<unsigned long long>(getpid())).value_or("");
}

// What a COM section says, checked: the device it maps to (empty when it has
// none that counts) and its configuration, with any problems found.
struct Entry {
    std::string device;
    std::optional<COMMCONFIG> config;
};

bool ConfigFromHex(const std::string& s, COMMCONFIG* c);

Entry ReadEntry(const Store& store, const std::string& section, std::vector<std::string>* problems)
{
    Entry e;
    auto problem = [&](const Line* l, const std::string& what) {
        if (problems != nullptr)
            problems->push_back("第 " + std::to_string(l->number) + " 行 [" + section + "] " + Shown(Trim(l->text)) +
                                "：" + what + "，此项不被使用");
    };
    if (const Line* l = FindLine(store, section, "device")) {
        const std::string device = *FindValue(store, section, "device");
        const Line* owner = FindLine(store, section, "owner");
        const Line* start = FindLine(store, section, "owner-start");
        unsigned long long pid = 0, ticks = 0;
        if (device.empty()) {
            // No mapping: the default device.
        } else if (device[0] != '/' || HasControl(device)) {
            problem(l, "设备必须是绝对路径");
        } else if (owner != nullptr && !(ParseNumber(*FindValue(store, section, "owner"), &pid) && pid > 0)) {
            problem(owner, "应为进程号");
        } else if (start != nullptr && !ParseNumber(*FindValue(store, section, "owner-start"), &ticks)) {
            problem(start, "应为进程的启动时间");
        } else if (owner == nullptr) {
            e.device = device;
        } else {
            // A mapping made by a program that has ended (or whose process
            // number now belongs to another program) points at nothing of
            // ours: the pseudo-terminal may now be someone's terminal.
            const auto running = ProcessStart(pid);
            if (running && (start == nullptr || *running == *FindValue(store, section, "owner-start")))
                e.device = device;
        }
    }
    if (const Line* l = FindLine(store, section, "config")) {
        COMMCONFIG c;
        if (ConfigFromHex(*FindValue(store, section, "config"), &c))
            e.config = c;
        else
            problem(l, "不是有效的串口设置");
    }
    return e;
}

// Every problem of the store's text: malformed headers, then the entries of
// each COM section.
std::vector<std::string> Problems(const std::string& text)
{
    std::vector<std::string> problems;
    Store store = Parse(text, &problems);
    for (const auto& s : store)
        if (!s.name.empty() && plat::ComNumber(s.name.c_str()) != 0)
            ReadEntry(store, s.name, &problems);
    return problems;
}

// Says each problem on stderr, once per process.
void Report(const std::vector<std::string>& problems)
{
    static std::mutex lock;
    static std::set<std::string> said;
    std::lock_guard<std::mutex> g(lock);
    for (const std::string& p : problems)
        if (said.insert(StorePath() + p).second)
            std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, StorePath().c_str(), p.c_str());
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

// Reads the store; a missing or unreadable file is an empty store. Problems
// are reported.
Store ReadStore()
{
    const std::string text = ReadText();
    Report(Problems(text));
    return Parse(text, nullptr);
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

// Reads, changes and writes back the store under a lock on its folder, which
// every process writing this store takes too (mptest and the virtual
// printer both come here). False with the last error set when the store
// cannot be written; the old store is then untouched.
template <class Change>
bool UpdateStore(Change change)
{
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
    Store store = ReadStore();
    change(store);
    const std::string text = Serialize(store);

    std::string tmp = dir + "/.serial.conf.XXXXXX";
    int fd = mkstemp(tmp.data());
    bool ok = fd >= 0;
    int err = errno;
    if (ok) {
        ok = fchmod(fd, 0600) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
        err = errno;
        ok = (close(fd) == 0) && ok;
        if (ok) {
            ok = rename(tmp.c_str(), StorePath().c_str()) == 0;
            err = errno;
        }
        if (!ok)
            unlink(tmp.c_str());
        else
            fsync(dirFd); // the rename itself reaches the disk
    }
    flock(dirFd, LOCK_UN);
    close(dirFd);
    if (!ok)
        SetLastError(err == 0 ? ERROR_WRITE_FAULT : plat::ErrorFromErrno(err));
    return ok;
}

std::string ToHex(const void* data, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    const auto* b = static_cast<const unsigned char*>(data);
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
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

// A stored configuration counts only when a serial line could take it: one
// that SetCommState would refuse as nonsense would leave the line at its old
// speed. (1.5 stop bits are the program's own choice; the line refuses them
// when it is set, and says so.)
bool ConfigFromHex(const std::string& s, COMMCONFIG* c)
{
    COMMCONFIG stored;
    if (!FromHex(s, &stored, sizeof stored) || stored.dwSize != kConfigSize || stored.dcb.DCBlength != sizeof(DCB) ||
        plat::DcbError(stored.dcb) == ERROR_INVALID_PARAMETER)
        return false;
    *c = stored;
    return true;
}

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

// The mapping keys of one section, as they stood (nothing when absent).
struct Mapping {
    std::optional<std::string> device, owner, start;
};
constexpr const char* kMappingKeys[] = {"device", "owner", "owner-start"};

Mapping GetMapping(const Store& store, const std::string& section)
{
    return {FindValue(store, section, kMappingKeys[0]), FindValue(store, section, kMappingKeys[1]),
            FindValue(store, section, kMappingKeys[2])};
}

void SetMapping(Store& store, const std::string& section, const Mapping& m)
{
    const std::optional<std::string>* values[] = {&m.device, &m.owner, &m.start};
    for (size_t i = 0; i < 3; ++i)
        SetValue(store, section, kMappingKeys[i], values[i]->value_or(""));
}

// What this process claimed, and what the claim replaced.
struct Claim {
    std::string section;
    Mapping mine, previous;
};
std::mutex gClaimLock;
std::vector<Claim> gClaims;

} // namespace

namespace plat {

// The device a COM number opens: the stored one, else /dev/ttyS<n-1>.
std::string PlatComDeviceFor(unsigned n)
{
    std::string name = "COM" + std::to_string(n);
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

bool PlatSetComDevice(const std::string& comName, const std::string& device)
{
    std::string name = CanonicalName(comName.c_str());
    if (name.empty() || device.find('\n') != std::string::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Set by hand, a mapping has no owner: it lasts until changed.
    return UpdateStore([&](Store& s) { SetMapping(s, name, Mapping{Trim(device), {}, {}}); });
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
    Claim claim{name, Mapping{device, std::to_string(getpid()), OwnStart()}, {}};
    std::lock_guard<std::mutex> g(gClaimLock);
    const bool ok = UpdateStore([&](Store& s) {
        claim.previous = GetMapping(s, name);
        SetMapping(s, name, claim.mine);
    });
    if (ok) {
        // A second claim on the same name keeps the first one's previous.
        bool again = false;
        for (Claim& c : gClaims)
            if (c.section == name) {
                c.mine = claim.mine;
                again = true;
            }
        if (!again)
            gClaims.push_back(claim);
    }
    return ok;
}

bool PlatReleaseComDevice(const std::string& comName)
{
    std::string name = CanonicalName(comName.c_str());
    std::lock_guard<std::mutex> g(gClaimLock);
    for (auto it = gClaims.begin(); it != gClaims.end(); ++it) {
        if (it->section != name)
            continue;
        const Claim claim = *it;
        gClaims.erase(it);
        return UpdateStore([&](Store& s) {
            const Mapping now = GetMapping(s, name);
            // Someone else mapped the name since: theirs stays.
            if (now.device != claim.mine.device || now.owner != claim.mine.owner || now.start != claim.mine.start)
                return;
            Mapping back = claim.previous;
            // A previous mapping whose owner has ended is dropped, not restored.
            if (back.owner) {
                unsigned long long pid = 0;
                const auto running = ParseNumber(*back.owner, &pid) ? ProcessStart(pid) : std::nullopt;
                if (!running || (back.start && *running != *back.start))
                    back = Mapping{};
            }
            SetMapping(s, name, back);
        });
    }
    return true;
}

std::vector<std::string> PlatSerialStoreProblems()
{
    return Problems(ReadText());
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
    std::string hex = ToHex(config, kConfigSize);
    if (!UpdateStore([&](Store& s) { SetValue(s, section, "config", hex); }))
        return FALSE;
    return TRUE;
}
