// The portable entry point: it only hands over to WinMain.
#include "app/app.h"

int main()
{
    return WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
}
