// Seams of the platform layer for tests and tools, and the COM device map,
// which the port settings dialog also uses. Every path root the layer and
// the per-system halves of port/ read comes from here, so tests can point
// each at a temporary folder.
#pragma once

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

// The command line of the program's entry point. -1 to go on and start;
// otherwise the exit status: 0 after --help, 2 after an unknown option (both
// print the usage). --epp opens the EPP console at start.
int PlatParseCommandLine(int argc, char** argv);
// The main-window commands the options asked for; each is handed out once,
// and the window layer posts them to the first window that has no owner.
std::vector<unsigned> PlatTakeStartCommands();
