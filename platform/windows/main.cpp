// The Windows program's entry point. `mptest.exe --version` answers in the
// console it was started from and ends, as mptest does on Linux; a window
// program has no console of its own, so it borrows its parent's. Anything
// else starts the program.
#include "platform/windows/win.h"

#include "app/app.h"

#include <cstring>

namespace {

bool WriteAll(HANDLE out, const char* text, DWORD length)
{
    DWORD written = 0;
    return out != nullptr && out != INVALID_HANDLE_VALUE && WriteFile(out, text, length, &written, nullptr) &&
           written == length;
}

// The standard output the parent handed over (a pipe or a file); else, or
// when that handle is not ours to write (a GUI program inherits the values,
// not always the handles), the parent's console.
bool TellParent(const char* text, DWORD length)
{
    if (WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text, length))
        return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return false;
    HANDLE console =
        CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool told = WriteAll(console, text, length);
    if (console != INVALID_HANDLE_VALUE)
        CloseHandle(console);
    FreeConsole();
    return told;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        const char text[] = "mptest " MPTEST_VERSION "\r\n";
        return TellParent(text, sizeof text - 1) ? 0 : 1;
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
}
