// Seams of the platform layer for tests and tools, and the COM device map,
// which the port settings dialog also uses. Every path root the layer and
// the per-system halves of port/ read comes from here, so tests can point
// each at a temporary folder.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <string>
#include <vector>

enum class PlatRoot {
    Dev,    // "/dev"
    Sys,    // "/sys"
    Proc,   // "/proc"
    Config, // "$XDG_CONFIG_HOME/mptest" or "~/.config/mptest"
    Home,   // "$HOME"
};

// The path of a root, without a trailing slash.
std::string PlatRootPath(PlatRoot root);
// Overrides a root; an empty path goes back to the system's.
void PlatSetRootPath(PlatRoot root, const std::string& path);

// Scales Sleep and serial time-outs (1.0 = real time). Tests that need many
// one-second pauses may run faster; at least one test per pause runs at 1.0.
void PlatSetTimeScale(double scale);
double PlatTimeScale();

// The device a COM name ("COM1", "com1", "\\.\COM1") opens on this system:
// the one stored for it in the per-user serial store, else <Dev>/ttyS<n-1>.
// Empty for a name that is no COM port. The port settings dialog shows it.
std::string PlatComDevice(const std::string& comName);
// Stores the device a COM name opens from now on (an empty device removes the
// mapping, so the name goes back to <Dev>/ttyS<n-1>). The rest of the store,
// the stored configuration too, is kept. False (last error set) for a name
// that is no COM port or a store that cannot be written.
bool PlatSetComDevice(const std::string& comName, const std::string& device);

// Maps a COM name to `device` for as long as this process runs (the virtual
// printer's --as): the mapping records this process as its owner, so once it
// no longer runs the mapping counts as absent, and PlatReleaseComDevice puts
// back the mapping it replaced. False (last error set) as PlatSetComDevice.
bool PlatClaimComDevice(const std::string& comName, const std::string& device);
// Ends this process's claim on a COM name: the mapping it replaced comes
// back, unless someone has mapped the name since. True when there is nothing
// to do; false (last error set) when the store cannot be written.
bool PlatReleaseComDevice(const std::string& comName);

// Each malformed section or entry of the serial store, as a sentence for the
// user (with its line number). Such a section or entry is treated as absent;
// reading the store also says each problem once on stderr.
std::vector<std::string> PlatSerialStoreProblems();

// The platform's own command-line options (mptest --device-root DIR, --epp), applied
// by the program's entry point on this system. -1 to go on; otherwise the
// exit code, having said why (0 after --help, 2 for a bad option).
int PlatTakeOptions(int argc, char** argv);

// Says something the user must know that no Windows error code carries (a
// COM port that is the system console): on stderr, and to the handler when
// one is set (the program's start-up sets one that shows a message box).
void PlatNotice(const std::string& text);
void PlatSetNoticeHandler(void (*handler)(const std::string& text));

// Answers every MessageBoxA instead of showing it, on whichever thread asks:
// gets the owner, text, caption and flags, returns the button's id (IDOK ...).
// Tests record boxes with it. Called outside any lock of the layer, so it may
// block or take its own locks; an empty function shows boxes again.
using PlatMessageBoxHook = std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
void PlatSetMessageBoxHook(PlatMessageBoxHook hook);
// What MessageBoxA asks first: true and the hook's answer while one is set.
bool PlatMessageBoxHooked(HWND owner, const char* text, const char* caption, UINT type, int& answer);

// The port settings dialog's device chooser. True where a COM name stands for
// a device the user picks (here); false where the system maps COM names
// itself (Windows), and the dialog then shows no chooser.
extern const bool kPlatComDeviceChooser;
// The serial devices present, as paths to store: the stable
// <Dev>/serial/by-id/* links (their names tell the adapter), then
// <Dev>/ttyUSB*, <Dev>/ttyACM*, and the <Dev>/ttyS* that are real UARTs.
std::vector<std::string> PlatListComDevices();
// Whether this user can open `device` now, without opening it.
enum class PlatDeviceState { Usable, Missing, NoPermission };
PlatDeviceState PlatCheckComDevice(const std::string& device);

// The main-window commands the options asked for (--epp: the EPP console);
// each is handed out once, and the window layer posts them to the first
// window that has no owner.
std::vector<unsigned> PlatTakeStartCommands();
