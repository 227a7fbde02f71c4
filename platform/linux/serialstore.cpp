// The per-user serial store: which device each COM name stands for and the
// stored default configuration of each, in <Config>/serial.conf as INI text:
//
//   [COM1]
//   device=/dev/ttyUSB0
//   config=<the 52-byte COMMCONFIG as 104 lower-case hex digits>
//
// Unknown keys, sections and comments survive a rewrite. Every rewrite goes
// to a temporary file in the same folder, is flushed to disk and renamed over
// the old file, so a crash leaves the old store or the new, never half of one.
// Readers never write; a store that is missing or damaged reads as defaults.
#include "platform/linux/kernel.h"
#include "platform/seams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
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
    std::string text; // the line as it stands in the file
    std::string key;  // empty for comments, blank lines and section headers
};
struct Section {
    std::string name; // empty for the lines before the first header
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

// The canonical section name of a COM name ("com3", "\\.\COM3" -> "COM3").
std::string CanonicalName(const char* name)
{
    unsigned n = plat::ComNumber(name);
    return n == 0 ? std::string() : "COM" + std::to_string(n);
}

bool SameName(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

Store Parse(const std::string& text)
{
    Store store(1);
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        std::string t = Trim(raw);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            store.push_back(Section{Trim(t.substr(1, t.size() - 2)), {}});
            continue;
        }
        Line line{raw, {}};
        size_t eq = t.find('=');
        if (!t.empty() && t[0] != ';' && t[0] != '#' && eq != std::string::npos)
            line.key = Trim(t.substr(0, eq));
        store.back().lines.push_back(std::move(line));
    }
    return store;
}

std::string Serialize(const Store& store)
{
    std::string out;
    for (const auto& s : store) {
        if (!s.name.empty())
            out += "[" + s.name + "]\n";
        for (const auto& l : s.lines)
            out += l.text + "\n";
    }
    return out;
}

// Reads the store; a missing or unreadable file is an empty store.
Store ReadStore()
{
    std::ifstream f(StorePath(), std::ios::binary);
    if (!f)
        return Store(1);
    std::ostringstream ss;
    ss << f.rdbuf();
    return Parse(ss.str());
}

std::optional<std::string> FindValue(const Store& store, const std::string& section, const std::string& key)
{
    for (const auto& s : store) {
        if (s.name.empty() || !SameName(s.name, section))
            continue;
        for (const auto& l : s.lines)
            if (l.key == key)
                return Trim(l.text.substr(l.text.find('=') + 1));
    }
    return std::nullopt;
}

// Sets (or with an empty value removes) one key in one section.
void SetValue(Store& store, const std::string& section, const std::string& key, const std::string& value)
{
    Section* target = nullptr;
    for (auto& s : store)
        if (!s.name.empty() && SameName(s.name, section))
            target = &s;
    if (target == nullptr) {
        if (value.empty())
            return;
        store.push_back(Section{section, {}});
        target = &store.back();
    }
    for (auto it = target->lines.begin(); it != target->lines.end(); ++it) {
        if (it->key != key)
            continue;
        if (value.empty())
            target->lines.erase(it);
        else
            it->text = key + "=" + value;
        return;
    }
    if (value.empty())
        return;
    // After the section's last key, before any blank lines that end it.
    auto pos = target->lines.end();
    while (pos != target->lines.begin() && Trim(std::prev(pos)->text).empty())
        --pos;
    target->lines.insert(pos, Line{key + "=" + value, key});
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
// other processes using this store take too. False with the last error set
// when the store cannot be written; the old store is then untouched.
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
    flock(dirFd, LOCK_EX); // held briefly by whoever rewrites the store
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

} // namespace

namespace plat {

// The device a COM number opens: the stored one, else /dev/ttyS<n-1>.
std::string PlatComDeviceFor(unsigned n)
{
    std::string name = "COM" + std::to_string(n);
    Store store = ReadStore();
    if (auto dev = FindValue(store, name, "device"); dev && !dev->empty())
        return *dev;
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
    return UpdateStore([&](Store& s) { SetValue(s, name, "device", Trim(device)); });
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
    Store store = ReadStore();
    if (auto hex = FindValue(store, section, "config")) {
        COMMCONFIG stored;
        // A damaged entry reads as the defaults, not as half of itself.
        if (FromHex(*hex, &stored, sizeof stored) && stored.dwSize == kConfigSize)
            c = stored;
    }
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
