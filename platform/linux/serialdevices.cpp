// The serial devices a technician can map a COM name to: what the port
// settings dialog's device chooser lists, and whether one can be opened.
#include "platform/comdevices.h"
#include "platform/linux/kernel.h"
#include "platform/linux/roots.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// A character device of a tty driver, by the drivers' number ranges in
// <Proc>/tty/drivers, so nothing is opened (an open raises a line's modem
// lines). Without that list every character device but the memory ones
// (/dev/null, /dev/zero: major 1) counts as a terminal.
bool IsTerminal(const struct stat& st)
{
    if (!S_ISCHR(st.st_mode) || major(st.st_rdev) == 1)
        return false;
    std::ifstream drivers(PlatRootPath(PlatRoot::Proc) + "/tty/drivers");
    if (!drivers)
        return true;
    // "name  /dev/node  major  minors  type", minors "64" or "0-1048575".
    for (std::string line; std::getline(drivers, line);) {
        std::istringstream words(line);
        std::string name, node, minors;
        unsigned number = 0;
        if (!(words >> name >> node >> number >> minors) || number != major(st.st_rdev))
            continue;
        unsigned first = 0, last = 0;
        const int n = std::sscanf(minors.c_str(), "%u-%u", &first, &last);
        if (n >= 1 && minor(st.st_rdev) >= first && minor(st.st_rdev) <= (n == 2 ? last : first))
            return true;
    }
    return false;
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
    if (S_ISDIR(st.st_mode))
        return PlatDeviceState::Directory;
    if (!IsTerminal(st))
        return PlatDeviceState::NotATerminal;
    if (plat::IsSystemConsole(st))
        return PlatDeviceState::SystemConsole;
    return access(device.c_str(), R_OK | W_OK) == 0 ? PlatDeviceState::Usable : PlatDeviceState::NoPermission;
}
