// USB printer discovery on Linux over the usblp driver's nodes: the first
// printer in numeric order whose node opens is the one used.
#include "port/linux/usb_discovery.h"
#include "port/usb.h"
#include "port/usb_system.h"
#include "platform/linux/roots.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>

namespace {

std::string UsbMiscDir()
{
    return PlatRootPath(PlatRoot::Sys) + "/class/usbmisc";
}

// The N of "lp<N>", or false for any other name.
bool ParseLpName(const char* name, unsigned* number)
{
    if (std::strncmp(name, "lp", 2) != 0 || name[2] == '\0')
        return false;
    unsigned long value = 0;
    for (const char* p = name + 2; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 0xFFFFFF)
            return false;
    }
    *number = static_cast<unsigned>(value);
    return true;
}

} // namespace

bool UsbGetClassDevs(const GUID* interfaceClass, UsbDeviceSet* set)
{
    set->numbers.clear();
    if (std::memcmp(interfaceClass, &GUID_CLASS_I82930_BULK, sizeof(GUID)) != 0)
        return true;
    DIR* dir = opendir(UsbMiscDir().c_str());
    if (!dir) {
        // No usblp device has ever been attached: an empty set.
        return errno == ENOENT;
    }
    while (const dirent* entry = readdir(dir)) {
        unsigned number = 0;
        if (ParseLpName(entry->d_name, &number))
            set->numbers.push_back(number);
    }
    closedir(dir);
    std::sort(set->numbers.begin(), set->numbers.end());
    return true;
}

bool UsbEnumDeviceInterfaces(const UsbDeviceSet& set, DWORD index, UsbInterfaceData* data)
{
    if (index >= set.numbers.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return false;
    }
    unsigned number = set.numbers[index];
    std::string entry = UsbMiscDir() + "/lp" + std::to_string(number);
    struct stat info;
    if (stat(entry.c_str(), &info) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    data->number = number;
    return true;
}

HANDLE OpenOneDevice(const UsbDeviceSet&, const UsbInterfaceData& data, char* path)
{
    std::string device = PlatRootPath(PlatRoot::Dev) + "/usb/lp" + std::to_string(data.number);
    if (device.size() + 1 > USB_PATH_SIZE)
        return INVALID_HANDLE_VALUE;
    std::memcpy(path, device.c_str(), device.size() + 1);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

HANDLE OpenUsbDevice(const GUID* interfaceClass, char* path)
{
    UsbDeviceSet set;
    if (!UsbGetClassDevs(interfaceClass, &set))
        return INVALID_HANDLE_VALUE;

    HANDLE handle = INVALID_HANDLE_VALUE;
    for (DWORD index = 0; index < USB_ENUM_LIMIT; ++index) {
        UsbInterfaceData data = {};
        if (UsbEnumDeviceInterfaces(set, index, &data)) {
            handle = OpenOneDevice(set, data, path);
            if (handle != INVALID_HANDLE_VALUE)
                break;
        } else if (GetLastError() == ERROR_NO_MORE_ITEMS) {
            break;
        }
    }
    return handle;
}
