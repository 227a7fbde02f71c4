// Where this system keeps what the platform reads: devices, kernel tables,
// the per-user configuration. Every path root the layer and port/linux read
// comes from here, so `mptest --device-root DIR` and the tests can move one.
#pragma once

#include <string>

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
