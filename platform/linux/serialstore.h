// The serial store's services beyond the COM device map (platform/comdevices.h):
// mappings a running program holds, and the store's faults.
#pragma once

#include <string>
#include <vector>

// Maps a COM name to `device` for as long as this process runs (the virtual
// printer's --as). The claim is kept in the store beside the user's own
// mapping, which it never overwrites: the name opens the newest claim whose
// program still runs, else the user's mapping. False (last error set) for a
// name that is no COM port, a device that is no absolute path, or a store
// that cannot be written. `displaced`, when given, gets the process number
// of another running program whose claim this one now hides (0 for none).
bool PlatClaimComDevice(const std::string& comName, const std::string& device, unsigned long* displaced = nullptr);
// Ends this process's claim on a COM name; a claim under it, or else the
// user's mapping, counts again. True when there was nothing to end; false
// (last error set) when the store cannot be written, and the claim then
// stays in the store until a later release or until this process ends.
bool PlatReleaseComDevice(const std::string& comName);

// Each malformed section or entry of the serial store, as a sentence for the
// user (with its line number). Such a section or entry is treated as absent;
// the program is told of each once (PlatNotice).
std::vector<std::string> PlatSerialStoreProblems();
