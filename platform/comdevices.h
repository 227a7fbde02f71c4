// The COM device map: which device a COM name opens on this system, as the
// port settings dialog shows and changes it. Here a COM name stands for a
// device the user picks and the platform stores (platform/linux); on
// Windows the system maps COM names itself (platform/windows).
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

// The device a COM name ("COM1", "com1", "\\.\COM1") opens on this system:
// the one stored for it in the per-user serial store, else <Dev>/ttyS<n-1>.
// Empty for a name that is no COM port. The port settings dialog shows it.
std::string PlatComDevice(const std::string& comName);
// Stores the device a COM name opens from now on (an empty device removes the
// mapping, so the name goes back to <Dev>/ttyS<n-1>). The rest of the store,
// the stored configuration too, is kept. False (last error set) for a name
// that is no COM port or a store that cannot be written.
bool PlatSetComDevice(const std::string& comName, const std::string& device);

// Maps a COM name to `device` within this process only, ahead of the store,
// which is neither read for it nor written (mptest-cli --port /dev/ttyUSB0).
// An empty device ends it. False (last error set) for a name that is no COM
// port, and on Windows, where the system maps COM names itself.
bool PlatUseComDevice(const std::string& comName, const std::string& device);
// True while PlatUseComDevice maps `comName`: the user named the device
// itself, and messages name the device, not the COM name.
bool PlatComDeviceTyped(const std::string& comName);

// Where the serial store lives, for messages that must name it: its file
// here, the system's own store on Windows.
std::string PlatSerialStoreLocation();

// The port settings dialog's device chooser. True where a COM name stands for
// a device the user picks (here); false where the system maps COM names
// itself (Windows), and the dialog then shows no chooser.
extern const bool kPlatComDeviceChooser;
// The serial devices present, as paths to store: the stable
// <Dev>/serial/by-id/* links (their names tell the adapter), then
// <Dev>/ttyUSB*, <Dev>/ttyACM*, and the <Dev>/ttyS* that are real UARTs.
std::vector<std::string> PlatListComDevices();
// Whether this user can open `device` now, without opening it: a directory,
// or a file or device that is no terminal (/dev/null), is no serial line,
// and an active system console is never opened as one.
enum class PlatDeviceState { Usable, Missing, NoPermission, Directory, NotATerminal, SystemConsole };
PlatDeviceState PlatCheckComDevice(const std::string& device);

// Following the devices while the dialog is open: from now on `message`
// (wParam and lParam 0) is posted to `window` after each change among the
// devices PlatListComDevices lists, so the dialog refreshes its list on its
// own thread, until PlatUnwatchComDevices(window). False where there is no
// such list (Windows) or nothing can be watched.
bool PlatWatchComDevices(HWND window, UINT message);
// Ends the watch for `window`; when this returns, nothing more is posted.
void PlatUnwatchComDevices(HWND window);
