// Finding the printer's USB interface and opening its output pipe: the device
// path, a backslash and the pipe name.
#include "port/port.h"
#include "port/usb.h"
#include "port/usb_system.h"

#include <cstring>

const GUID GUID_CLASS_I82930_BULK = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
char completeDeviceName[256];
char inPipe[32] = "PIPE02";
char outPipe[32] = "PIPE02";

static_assert(sizeof completeDeviceName == USB_PATH_SIZE);

HANDLE OpenUsbPort()
{
    return open_file(outPipe);
}

HANDLE open_file(const char* pipe)
{
    if (!GetUsbDeviceFileName(&GUID_CLASS_I82930_BULK, completeDeviceName))
        return INVALID_HANDLE_VALUE;

    size_t used = strnlen(completeDeviceName, sizeof completeDeviceName);
    size_t pipeLength = std::strlen(pipe);
    if (used + 1 + pipeLength + 1 > sizeof completeDeviceName)
        return INVALID_HANDLE_VALUE;
    completeDeviceName[used] = '\\';
    std::memcpy(completeDeviceName + used + 1, pipe, pipeLength + 1);

    return CreateFileA(completeDeviceName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, PortOpenFlags(), nullptr);
}

BOOL GetUsbDeviceFileName(const GUID* interfaceClass, char* path)
{
    // Every search writes the path from its start.
    path[0] = '\0';
    HANDLE handle = OpenUsbDevice(interfaceClass, path);
    if (handle == INVALID_HANDLE_VALUE)
        return FALSE;
    // The bare interface was a test: closed before the pipe is opened.
    CloseHandle(handle);
    return TRUE;
}
