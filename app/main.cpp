// The portable entry point: the platform's options, then WinMain.
#include "app/app.h"
#include "platform/seams.h"

int main(int argc, char** argv)
{
    if (const int status = PlatParseCommandLine(argc, argv); status >= 0)
        return status;
    return WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
}
