// Cutting GBK text to a byte limit: the same on every system, as it needs no
// converter.
#include "platform/win32.h"

size_t PlatGbkCut(std::string_view gbk, size_t maxBytes)
{
    // A lead byte of 0x81 or above starts a two-byte character; anything
    // below is one byte. A lead byte with nothing after it counts as one.
    size_t keep = 0;
    while (keep < gbk.size()) {
        size_t width = static_cast<unsigned char>(gbk[keep]) >= 0x81 && keep + 1 < gbk.size() ? 2 : 1;
        if (keep + width > maxBytes)
            break;
        keep += width;
    }
    return keep;
}
