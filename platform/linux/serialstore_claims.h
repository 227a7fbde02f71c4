// The mappings running programs hold in the serial store (the virtual
// printer's --as), as "claim.PID.START=DEVICE" keys of a COM section, and
// whether the program behind one still runs. Internal to the store
// (platform/linux/serialstore*.cpp).
#pragma once

#include "platform/linux/serialstore_ini.h"

#include <optional>
#include <string>
#include <vector>

namespace plat::store {

// A claim line: "claim.PID.START=DEVICE" (".START" may be missing).
struct ClaimLine {
    std::string key;
    unsigned long long pid = 0;
    std::optional<std::string> start;
    std::string device;
};

// Whether the program that made a mapping still runs: the process number
// alone may by now belong to another program, so its start time (clock
// ticks after boot) must match too when it was recorded.
bool Runs(unsigned long long pid, const std::optional<std::string>& start);

bool IsClaimKey(const std::string& key);
// The key of a claim by process `pid` that started at `start` (empty when
// not known).
std::string ClaimKey(const std::string& pid, const std::string& start);
// The key of a claim by this process.
std::string OwnClaimKey();
// False when the line is no well-formed claim.
bool ParseClaim(const Line& l, ClaimLine* c);
// The well-formed claims of a section, oldest first.
std::vector<ClaimLine> Claims(const Store& store, const std::string& section);
// Removes this process's claims on a section.
void RemoveOwnClaims(Store& store, const std::string& section);

} // namespace plat::store
