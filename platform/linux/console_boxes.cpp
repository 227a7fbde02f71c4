// The message box of a program without windows (mptest-cli): only the
// kernel half of the platform layer is linked into it, so it starts without
// any toolkit or display. A box goes to the hook (the program's sink, or a
// test's recorder), else to standard error.
#include "platform/linux/kernel.h"

#include <cstdio>

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    int answer = 0;
    if (PlatMessageBoxHooked(owner, text, caption, type, answer))
        return answer;
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
    return IDOK;
}
