// The serial devices a technician can map a COM name to: what the port
// settings dialog's device chooser lists, and whether one can be opened.
#include "platform/comdevices.h"
#include "platform/linux/roots.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

const bool kPlatComDeviceChooser = true;

namespace {

std::vector<std::string> Names(const std::string& dir, const std::string& prefix)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return names;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0)
            names.push_back(name);
    }
    closedir(d);
    return names;
}

// ttyUSB2 before ttyUSB10: the trailing numbers compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b)
{
    auto split = [](const std::string& s) {
        size_t digits = s.size();
        while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9')
            --digits;
        return std::make_pair(s.substr(0, digits), std::strtoul(s.c_str() + digits, nullptr, 10));
    };
    return split(a) < split(b);
}

// The serial core reports a UART type of 0 for a ttyS line with no chip.
bool IsRealUart(const std::string& name)
{
    std::ifstream type(PlatRootPath(PlatRoot::Sys) + "/class/tty/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

} // namespace

std::vector<std::string> PlatListComDevices()
{
    const std::string dev = PlatRootPath(PlatRoot::Dev);
    std::vector<std::string> devices;
    auto add = [&](const std::string& dir, const std::string& prefix, bool (*keep)(const std::string&)) {
        std::vector<std::string> names = Names(dir, prefix);
        std::sort(names.begin(), names.end(), NaturalLess);
        for (const std::string& name : names)
            if (keep == nullptr || keep(name))
                devices.push_back(dir + "/" + name);
    };
    add(dev + "/serial/by-id", "", nullptr);
    add(dev, "ttyUSB", nullptr);
    add(dev, "ttyACM", nullptr);
    add(dev, "ttyS", IsRealUart);
    return devices;
}

PlatDeviceState PlatCheckComDevice(const std::string& device)
{
    struct stat st;
    if (device.empty() || stat(device.c_str(), &st) != 0)
        return PlatDeviceState::Missing;
    return access(device.c_str(), R_OK | W_OK) == 0 ? PlatDeviceState::Usable : PlatDeviceState::NoPermission;
}
