// The COM device map on Windows: the system maps COM names to its serial
// ports itself, so the port settings dialog shows no device chooser and
// nothing is stored.
#include "platform/comdevices.h"
#include "platform/win32.h"

const bool kPlatComDeviceChooser = false;

std::vector<std::string> PlatListComDevices()
{
    return {};
}

PlatDeviceState PlatCheckComDevice(const std::string&)
{
    return PlatDeviceState::Usable;
}

std::string PlatComDevice(const std::string& comName)
{
    return comName;
}

bool PlatSetComDevice(const std::string&, const std::string&)
{
    return true;
}

// Windows tells every top-level window of new ports itself (WM_DEVICECHANGE),
// and the dialog shows no device list there to follow them.
bool PlatWatchComDevices(HWND, UINT)
{
    return false;
}

void PlatUnwatchComDevices(HWND)
{
}

bool PlatUseComDevice(const std::string&, const std::string&)
{
    // COM names are the system's own here; a device path names no port.
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

bool PlatComDeviceTyped(const std::string&)
{
    return false;
}

std::string PlatSerialStoreLocation()
{
    return "Windows 的串口默认设置（系统注册表）";
}
