// The platform's own command-line options (mptest --device-root DIR, --epp).
#pragma once

#include <string>
#include <vector>

// Applied by the program's entry point on this system. -1 to go on;
// otherwise the exit code, having said why (0 after --help, 2 for a bad
// option).
int PlatTakeOptions(int argc, char** argv);

// The main-window commands the options asked for (--epp: the EPP console);
// each is handed out once, and the window layer posts them to the first
// window that has no owner.
std::vector<unsigned> PlatTakeStartCommands();
// What the options found worth a warning that does not stop the start (a
// device root that is gone); each is handed out once, and the window layer
// shows them over the first window that has no owner.
std::vector<std::string> PlatTakeStartWarnings();
