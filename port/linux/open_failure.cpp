// Why a port did not open, on Linux: the device a COM name or the USB
// printer stands for, and what keeps it from opening (missing, no
// permission, held by another process), found without opening it.
#include "port/linux/usb_discovery.h"
#include "port/network.h"
#include "port/port.h"
#include "port/usb.h"
#include "platform/comdevices.h"
#include "platform/linux/roots.h"
#include "platform/station.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The first process (other than none) with `device` open, as "1234 (minicom)";
// empty when none is found among the processes this user may look into.
std::string DeviceHolder(const struct stat& device)
{
    const std::string proc = PlatRootPath(PlatRoot::Proc);
    DIR* processes = opendir(proc.c_str());
    if (processes == nullptr)
        return {};
    std::string holder;
    while (holder.empty()) {
        const dirent* process = readdir(processes);
        if (process == nullptr)
            break;
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string base = proc + "/" + process->d_name;
        DIR* fds = opendir((base + "/fd").c_str());
        if (fds == nullptr)
            continue; // another user's process
        while (const dirent* fd = readdir(fds)) {
            struct stat target;
            if (fd->d_name[0] == '.' || stat((base + "/fd/" + fd->d_name).c_str(), &target) != 0)
                continue;
            if (S_ISCHR(target.st_mode) && target.st_rdev == device.st_rdev) {
                std::string name;
                std::ifstream comm(base + "/comm");
                std::getline(comm, name);
                holder = std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
                break;
            }
        }
        closedir(fds);
    }
    closedir(processes);
    return holder;
}

std::string GroupOf(const struct stat& device, const char* usual)
{
    const struct group* group = getgrgid(device.st_gid);
    return group != nullptr && group->gr_name[0] != '\0' ? group->gr_name : usual;
}

// Why `path` does not open, and what to do; `group` is the group that
// usually owns such devices.
std::string DeviceReason(const std::string& path, const char* group, const char* elsewhere)
{
    struct stat device;
    if (stat(path.c_str(), &device) != 0)
        return std::string("设备不存在，请检查连线或") + elsewhere;
    if (!S_ISCHR(device.st_mode))
        return std::string("这不是一个设备，请") + elsewhere;
    if (access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        return "没有权限，请把用户加入 " + GroupOf(device, group) + " 组后重新登录";
    const std::string holder = DeviceHolder(device);
    if (!holder.empty())
        return "设备正被进程 " + holder + " 使用，请先关闭它";
    return std::string("设备被占用、不是串口或有错误，请关闭其他使用它的程序，或") + elsewhere;
}

std::string UsbDetail()
{
    UsbDeviceSet printers;
    if (!UsbGetClassDevs(&GUID_CLASS_I82930_BULK, &printers) || printers.numbers.empty())
        return "USB001：没有找到 USB 打印机，请检查 USB 线和打印机电源";
    const std::string node = PlatRootPath(PlatRoot::Dev) + "/usb/lp" + std::to_string(printers.numbers.front());
    return "USB001 → " + node + "：" + DeviceReason(node, "lp", "重新插拔 USB 线");
}

} // namespace

std::string PortOpenFailureDetail(BYTE type)
{
    switch (type) {
    case PORT_SERIAL: {
        const std::string name = gCurrentPort.name;
        const std::string device = PlatComDevice(name);
        if (device.empty())
            return name + "：不是一个串口名";
        // A device the user typed is named as typed; a program without the
        // port settings dialog points to its own option.
        const std::string shown = PlatComDeviceTyped(name) ? device : name + " → " + device;
        return shown + "：" +
               DeviceReason(device, "dialout",
                            PlatIsConsoleProgram() ? "用 --port 指定设备（如 --port /dev/ttyUSB0）" : "在 端口设置 中选择设备");
    }
    case PORT_NETWORK:
        return NetOpenFailureDetail();
    case PORT_USB:
        return UsbDetail();
    default:
        return std::string(gCurrentPort.name) + "：并口无法使用，请检查端口设置";
    }
}
