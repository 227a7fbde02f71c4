// USB printer discovery on Windows: the device interfaces of the printer's
// class in SetupAPI's order; the first that opens is the one used.
#include "port/usb_system.h"

#include <setupapi.h>
#include <cstring>

HANDLE OpenOneDevice(HDEVINFO deviceSet, PSP_DEVICE_INTERFACE_DATA interfaceData, char* path)
{
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(deviceSet, interfaceData, nullptr, 0, &required, nullptr);
    auto detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(LocalAlloc(LPTR, required));
    if (!detail)
        return INVALID_HANDLE_VALUE;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(deviceSet, interfaceData, detail, required, &required, nullptr)) {
        LocalFree(detail);
        return INVALID_HANDLE_VALUE;
    }
    size_t length = std::strlen(detail->DevicePath);
    if (length + 1 > USB_PATH_SIZE) {
        LocalFree(detail);
        return INVALID_HANDLE_VALUE;
    }
    std::memcpy(path, detail->DevicePath, length + 1);
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    LocalFree(detail);
    return handle;
}

HANDLE OpenUsbDevice(const GUID* interfaceClass, char* path)
{
    HDEVINFO deviceSet =
        SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (deviceSet == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;

    HANDLE handle = INVALID_HANDLE_VALUE;
    for (DWORD index = 0; index < USB_ENUM_LIMIT; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof interfaceData;
        if (SetupDiEnumDeviceInterfaces(deviceSet, nullptr, interfaceClass, index, &interfaceData)) {
            handle = OpenOneDevice(deviceSet, &interfaceData, path);
            if (handle != INVALID_HANDLE_VALUE)
                break;
        } else if (GetLastError() == ERROR_NO_MORE_ITEMS) {
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(deviceSet);
    return handle;
}
