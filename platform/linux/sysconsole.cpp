// The system's active consoles, which no COM port may open: bytes sent
// there land on the machine's console, and new line settings would break it.
#include "platform/linux/kernel.h"
#include "platform/linux/roots.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

namespace plat {

namespace {

// A device number as the kernel writes it, "4:64".
bool ParseDevNumber(const std::string& text, dev_t* number)
{
    unsigned major = 0, minor = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%u:%u%c", &major, &minor, &end) != 2)
        return false;
    *number = makedev(major, minor);
    return true;
}

// The device numbers of the system's active consoles: /dev/console itself,
// each console the kernel lists in <Proc>/consoles (its number last on the
// line), and each name in <Sys>/class/tty/console/active, by its number in
// <Sys>/class/tty/NAME/dev or else by <Dev>/NAME. "tty0" there stands for
// the virtual terminal in front, named in <Sys>/class/tty/tty0/active.
std::vector<dev_t> ConsoleDevices()
{
    const std::string sys = PlatRootPath(PlatRoot::Sys) + "/class/tty/";
    std::vector<dev_t> devices{makedev(5, 1)};
    std::ifstream consoles(PlatRootPath(PlatRoot::Proc) + "/consoles");
    for (std::string line; std::getline(consoles, line);) {
        std::istringstream words(line);
        std::string word, last;
        while (words >> word)
            last = word;
        if (dev_t d; ParseDevNumber(last, &d))
            devices.push_back(d);
    }
    std::vector<std::string> names;
    std::ifstream active(sys + "console/active");
    for (std::string name; active >> name;) {
        names.push_back(name);
        if (name == "tty0")
            if (std::ifstream front(sys + "tty0/active"); front >> name)
                names.push_back(name);
    }
    for (const std::string& name : names) {
        if (name.find('/') != std::string::npos)
            continue;
        std::string number;
        if (std::ifstream file(sys + name + "/dev"); file >> number)
            if (dev_t d; ParseDevNumber(number, &d))
                devices.push_back(d);
        struct stat st;
        if (stat((PlatRootPath(PlatRoot::Dev) + "/" + name).c_str(), &st) == 0 && S_ISCHR(st.st_mode))
            devices.push_back(st.st_rdev);
    }
    return devices;
}

} // namespace

bool IsSystemConsole(const struct stat& st)
{
    if (!S_ISCHR(st.st_mode))
        return false;
    const std::vector<dev_t> consoles = ConsoleDevices();
    return std::find(consoles.begin(), consoles.end(), st.st_rdev) != consoles.end();
}

} // namespace plat
