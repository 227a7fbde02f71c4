// The program's entry point on this system. It takes the platform's own
// options (PlatTakeOptions), makes sure there is a display, then hands over
// to WinMain as platform/windows/main.cpp does where the Windows API is the system's.
#include "app/app.h"
#include "platform/qt/startup.h"
#include "platform/linux/options.h"

int main(int argc, char** argv)
{
    if (const int exitCode = PlatTakeOptions(argc, argv); exitCode >= 0)
        return exitCode;
    PlatQtRequireDisplay();
    return WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
}
