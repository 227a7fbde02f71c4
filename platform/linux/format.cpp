// wsprintfA: the small printf of the Windows user library, with the part of
// it the program formats with: %d, %x, %c, %s and %%, a '0' flag and a width.
// Any other conversion ends the text where it stands, before any argument is
// read for it, so an unexpected format never reads an argument as the wrong
// type. The output stops at 1023 characters plus the NUL, as on Windows.
#include "platform/linux/kernel.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

constexpr size_t kMaxOut = 1024; // bytes, the terminating NUL included

void Pad(std::string& out, const std::string& body, int width, char fill)
{
    int pad = width - static_cast<int>(body.size());
    if (pad <= 0) {
        out += body;
        return;
    }
    if (fill == '0' && !body.empty() && body[0] == '-') {
        out += '-';
        out.append(static_cast<size_t>(pad), '0');
        out.append(body, 1);
        return;
    }
    out.append(static_cast<size_t>(pad), fill);
    out += body;
}

} // namespace

int wsprintfA(LPSTR buffer, LPCSTR format, ...)
{
    if (buffer == nullptr || format == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    va_list ap;
    va_start(ap, format);
    std::string out;
    bool stopped = false;
    // `stopped` first: a format that ends in '%' stops on its NUL, and the
    // step past it must not be read.
    for (const char* p = format; !stopped && *p != '\0' && out.size() < kMaxOut; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        char fill = ' ';
        while (*p == '0') {
            fill = '0';
            ++p;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') {
            width = width * 10 + (*p++ - '0');
            if (width > static_cast<int>(kMaxOut))
                width = static_cast<int>(kMaxOut);
        }
        char tmp[32];
        switch (*p) {
        case '%':
            out += '%';
            break;
        case 'd':
            std::snprintf(tmp, sizeof tmp, "%d", va_arg(ap, int));
            Pad(out, tmp, width, fill);
            break;
        case 'x':
            std::snprintf(tmp, sizeof tmp, "%x", va_arg(ap, unsigned int));
            Pad(out, tmp, width, fill);
            break;
        case 'c':
            Pad(out, std::string(1, static_cast<char>(va_arg(ap, int))), width, fill);
            break;
        case 's': {
            const char* s = va_arg(ap, const char*);
            if (s == nullptr)
                s = "(null)";
            size_t n = 0;
            while (s[n] != '\0' && n < kMaxOut)
                ++n;
            Pad(out, std::string(s, n), width, fill);
            break;
        }
        default:
            stopped = true; // not one this layer formats, or the format's end
            break;
        }
    }
    va_end(ap);
    if (out.size() > kMaxOut - 1)
        out.resize(kMaxOut - 1);
    out.copy(buffer, out.size());
    buffer[out.size()] = '\0';
    return static_cast<int>(out.size());
}
