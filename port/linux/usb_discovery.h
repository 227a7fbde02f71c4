// The Linux half of USB printer discovery. The printers of the interface
// class are the usblp driver's entries lp<N> in <Sys>/class/usbmisc, taken in
// numeric order (lp2 before lp10); each is opened at <Dev>/usb/lp<N>.
#pragma once

#include "platform/win32.h"

#include <vector>

struct UsbDeviceSet {
    std::vector<unsigned> numbers; // the N of each lp<N>, ascending
};

struct UsbInterfaceData {
    unsigned number;
};

// The set of present printers of `interfaceClass`; false when it cannot be
// read. A class other than the printer's has no members.
bool UsbGetClassDevs(const GUID* interfaceClass, UsbDeviceSet* set);
// The member at `index`: false with ERROR_NO_MORE_ITEMS past the end, false
// with another error when the member went away since the set was taken.
bool UsbEnumDeviceInterfaces(const UsbDeviceSet& set, DWORD index, UsbInterfaceData* data);
// Writes the member's device path into `path` (256 bytes) and opens it.
HANDLE OpenOneDevice(const UsbDeviceSet& set, const UsbInterfaceData& data, char* path);
