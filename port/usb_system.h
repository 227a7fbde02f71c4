// The per-system half of USB printer discovery: finding the first present
// printer interface of a class that opens. Each system enumerates with its
// own means (port/linux: the usblp nodes; port/windows: SetupAPI); the
// search order and the contract are the same on both.
#pragma once

#include "platform/win32.h"

// Room for a device path, with its terminating NUL.
constexpr size_t USB_PATH_SIZE = 256;
// The enumeration gives up after this many indices that answer with an error
// other than "no more items".
constexpr DWORD USB_ENUM_LIMIT = 128;

// Enumerates the present interfaces of `interfaceClass` in the system's order
// and returns the handle of the first one that opens, its device path left in
// `path` (USB_PATH_SIZE bytes); the invalid-handle value when none opens.
HANDLE OpenUsbDevice(const GUID* interfaceClass, char* path);
