// A console program on this system (mptest-cli): where its message boxes go,
// and whether this process is one.
#include "platform/linux/testhooks.h"
#include "platform/station.h"

namespace {

void (*gSink)(const char* text, const char* caption) = nullptr;

} // namespace

void PlatStartConsoleProgram(void (*sink)(const char* text, const char* caption))
{
    gSink = sink;
    PlatSetMessageBoxHook([](HWND, const char* text, const char* caption, UINT) {
        gSink(text != nullptr ? text : "", caption != nullptr ? caption : "");
        return IDOK;
    });
}

bool PlatIsConsoleProgram()
{
    return gSink != nullptr;
}
