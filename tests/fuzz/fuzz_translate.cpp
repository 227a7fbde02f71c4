// libFuzzer target: typed hexadecimal text never crashes the translation and
// never produces more than half its length in bytes.
#include "send/hex.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // Exactly the bytes the text can need, plus a guard past the end.
    const size_t room = size / 2;
    std::vector<BYTE> out(room + 16, 0xA5);
    const char* text = reinterpret_cast<const char*>(data);
    const BYTE n = TranslateString(out.data(), text, static_cast<DWORD>(size));
    if (n > room % 256 && size < 512)
        std::abort();
    for (size_t i = room; i < out.size(); ++i)
        if (out[i] != 0xA5)
            std::abort();
    return 0;
}
