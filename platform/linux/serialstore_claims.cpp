// The claims running programs hold in the serial store, and the liveness
// of the processes behind them, read from <Proc>/PID/stat.
#include "platform/linux/serialstore_claims.h"
#include "platform/linux/kernel.h"
#include "platform/linux/roots.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace plat::store {

namespace {

constexpr char kClaimPrefix[] = "claim.";

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

} // namespace

bool Runs(unsigned long long pid, const std::optional<std::string>& start)
{
    const auto running = ProcessStart(pid);
    return running && (!start || *running == *start);
}

bool IsClaimKey(const std::string& key)
{
    return key.rfind(kClaimPrefix, 0) == 0;
}

std::string ClaimKey(const std::string& pid, const std::string& start)
{
    return kClaimPrefix + pid + (start.empty() ? "" : "." + start);
}

std::string OwnClaimKey()
{
    return ClaimKey(std::to_string(getpid()), OwnStart());
}

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

void RemoveOwnClaims(Store& store, const std::string& section)
{
    const unsigned long long me = static_cast<unsigned long long>(getpid());
    for (const ClaimLine& c : Claims(store, section))
        if (c.pid == me)
            SetValue(store, section, c.key, "");
}

} // namespace plat::store
