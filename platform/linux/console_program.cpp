// A program without windows on this system: mptest-cli. Only the kernel half
// of the platform layer is linked into it, so it starts without any toolkit
// or display; the one window call its ports can make, a message box, goes
// to the program's sink instead of a screen.
#include "platform/linux/kernel.h"
#include "platform/station.h"

#include <cstdio>

namespace {

void (*gSink)(const char* text, const char* caption) = nullptr;

} // namespace

void PlatStartConsoleProgram(void (*sink)(const char* text, const char* caption))
{
    gSink = sink;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    int answer = 0;
    if (PlatMessageBoxHooked(owner, text, caption, type, answer))
        return answer;
    if (gSink != nullptr)
        gSink(text != nullptr ? text : "", caption != nullptr ? caption : "");
    else
        std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
    return IDOK;
}
