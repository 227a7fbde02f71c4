// The seams whose answer on Windows is the system's: which device a COM name
// opens is the system's own mapping (Device Manager), so it is looked up and
// never stored by the program.
#include "platform/seams.h"
#include "platform/win32.h"

#include <string_view>

namespace {

// "COM1", "com12" or "\\.\COM3" without the prefix; empty for any other name.
std::string ComName(std::string_view name)
{
    if (name.substr(0, 4) == "\\\\.\\")
        name.remove_prefix(4);
    if (name.size() < 4 || name.size() > 6 || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.data(), 3,
                                                              "COM", 3) != CSTR_EQUAL)
        return {};
    if (name[3] < '1' || name[3] > '9')
        return {};
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9')
            return {};
    }
    return std::string(name);
}

} // namespace

std::string PlatComDevice(const std::string& comName)
{
    const std::string name = ComName(comName);
    if (name.empty())
        return {};
    char device[512] = {};
    if (QueryDosDeviceA(name.c_str(), device, sizeof device) == 0)
        return {};
    return device;
}

bool PlatSetComDevice(const std::string& comName, const std::string&)
{
    SetLastError(ComName(comName).empty() ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
    return false;
}
