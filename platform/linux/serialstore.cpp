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
//
// The INI model is serialstore_ini, the claims serialstore_claims, the
// locked rewrites serialstore_file, and the words of the line settings
// port/line_settings; here is what a COM section says, the migration of old
// forms, and the layer's functions.
#include "platform/linux/kernel.h"
#include "platform/comdevices.h"
#include "platform/linux/notices.h"
#include "platform/linux/roots.h"
#include "platform/linux/serialstore.h"
#include "platform/linux/serialstore_claims.h"
#include "platform/linux/serialstore_file.h"
#include "platform/linux/serialstore_ini.h"
#include "port/line_settings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

using plat::Fail;
using namespace plat::store;

namespace {

constexpr DWORD kConfigSize = sizeof(COMMCONFIG);

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


// Reads the store; a missing or unreadable file is an empty store. Its
// problems are reported.
Store ReadStore()
{
    const std::string text = ReadStoreText();
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
                SetValue(store, name, ClaimKey(*owner, start.value_or("")), *device);
            for (const char* key : {"device", "owner", "owner-start"})
                SetValue(store, name, key, "");
        }
        for (const ClaimLine& c : Claims(store, name))
            if (!Runs(c.pid, c.start))
                SetValue(store, name, c.key, "");
    }
}

// Reads, modernises, changes and writes back the store (RewriteStoreText:
// locked, atomic). False with the last error set when the store cannot be
// written; the old store is then untouched.
bool UpdateStore(const std::function<void(Store&)>& change)
{
    Problems problems;
    const bool ok = RewriteStoreText([&](const std::string& before) {
        problems = FindProblems(before);
        Store store = Parse(before, nullptr);
        Modernise(store);
        change(store);
        return Serialize(store);
    });
    Report(problems); // with no lock held: the notice may wait for the user
    return ok;
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
        SetValue(s, name, OwnClaimKey(), device);
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
    for (const Problem& p : FindProblems(ReadStoreText()))
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
