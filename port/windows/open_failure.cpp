// Why a port did not open, on Windows: the device behind the COM name or the
// USB printer's path, and what the system answers when it is opened again.
#include "port/network.h"
#include "port/port.h"
#include "port/usb.h"

#include <string>

namespace {

// What keeps `path` from opening now, and what to do.
std::string OpenReason(const std::string& path, const char* elsewhere)
{
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return "现在可以打开了，请再选一次";
    }
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return std::string("设备不存在，请检查连线或") + elsewhere;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return "设备正被其他程序使用，请先关闭它";
    default:
        return "无法打开（错误 " + std::to_string(error) + "），请检查设备或" + elsewhere;
    }
}

} // namespace

std::string PortOpenFailureDetail(BYTE type)
{
    switch (type) {
    case PORT_SERIAL: {
        const std::string name = gCurrentPort.name;
        char device[256] = {};
        std::string shown = name;
        if (QueryDosDeviceA(name.c_str(), device, sizeof device) != 0)
            shown += std::string(" → ") + device;
        return shown + "：" + OpenReason("\\\\.\\" + name, "在 设备管理器 中查看打印机所在的端口");
    }
    case PORT_NETWORK:
        return NetOpenFailureDetail();
    case PORT_USB:
        if (completeDeviceName[0] == '\0')
            return "USB001：没有找到 USB 打印机，请检查 USB 线和打印机电源";
        return std::string("USB001 → ") + completeDeviceName + "：" + OpenReason(completeDeviceName, "重新插拔 USB 线");
    default:
        return std::string(gCurrentPort.name) + "：并口无法使用，请检查端口设置";
    }
}
