// wsprintfA: the small printf of the Windows user library. It formats what
// Windows does: %c %d %i %u %x %X %s and %%, with the flags '-', '#' and '0',
// a width, a precision (the most characters of %s, the least digits of a
// number) and the 'l' size (32 bits, as a Windows long). A conversion it does
// not know (a wide %S, a floating point one) ends the text where it stands,
// before any argument is read for it, and says so on standard error: an
// unexpected format never reads an argument as the wrong type, and never
// goes unnoticed. The output stops at 1023 characters plus the NUL, as on
// Windows.
#include "platform/linux/kernel.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr size_t kMaxOut = 1024; // bytes, the terminating NUL included

struct Conversion {
    bool left = false;
    bool alternate = false;
    char fill = ' ';
    int width = 0;
    int precision = -1;
};

void Pad(std::string& out, std::string body, const Conversion& conv)
{
    const int pad = conv.width - static_cast<int>(body.size());
    if (pad <= 0) {
        out += body;
    } else if (conv.left) {
        out += body;
        out.append(static_cast<size_t>(pad), ' ');
    } else if (conv.fill == '0' && !body.empty() && (body[0] == '-' || body.rfind("0x", 0) == 0 ||
                                                      body.rfind("0X", 0) == 0)) {
        const size_t sign = body[0] == '-' ? 1 : 2;
        out.append(body, 0, sign);
        out.append(static_cast<size_t>(pad), '0');
        out.append(body, sign);
    } else {
        out.append(static_cast<size_t>(pad), conv.fill);
        out += body;
    }
}

// A number's digits with at least `precision` of them.
std::string Digits(const char* format, uint32_t value, int precision)
{
    char tmp[32];
    std::snprintf(tmp, sizeof tmp, format, value);
    std::string digits = tmp;
    if (precision >= 0 && static_cast<int>(digits.size()) < precision)
        digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
    return digits;
}

int ReadCount(const char*& p)
{
    int n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10 + (*p++ - '0');
        if (n > static_cast<int>(kMaxOut))
            n = static_cast<int>(kMaxOut);
    }
    return n;
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
        const char* start = p++;
        Conversion conv;
        for (;; ++p) {
            if (*p == '-')
                conv.left = true;
            else if (*p == '#')
                conv.alternate = true;
            else if (*p == '0')
                conv.fill = '0';
            else
                break;
        }
        conv.width = ReadCount(p);
        if (*p == '.') {
            ++p;
            conv.precision = ReadCount(p);
            conv.fill = ' ';
        }
        if (*p == 'l' || *p == 'h')
            ++p; // a Windows long is 32 bits, as int is; short arguments arrive as int
        switch (*p) {
        case '%':
            out += '%';
            break;
        case 'd':
        case 'i': {
            const int32_t value = va_arg(ap, int32_t);
            const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
            Pad(out, (value < 0 ? "-" : "") + Digits("%u", magnitude, conv.precision), conv);
            break;
        }
        case 'u':
            Pad(out, Digits("%u", va_arg(ap, uint32_t), conv.precision), conv);
            break;
        case 'x':
        case 'X': {
            const uint32_t value = va_arg(ap, uint32_t);
            std::string digits = Digits(*p == 'x' ? "%x" : "%X", value, conv.precision);
            if (conv.alternate && value != 0)
                digits.insert(0, *p == 'x' ? "0x" : "0X");
            Pad(out, digits, conv);
            break;
        }
        case 'c':
            Pad(out, std::string(1, static_cast<char>(va_arg(ap, int))), conv);
            break;
        case 's': {
            const char* text = va_arg(ap, const char*);
            if (text == nullptr)
                text = "(null)";
            const size_t limit = conv.precision >= 0 ? static_cast<size_t>(conv.precision) : kMaxOut;
            size_t n = 0;
            while (text[n] != '\0' && n < limit)
                ++n;
            Pad(out, std::string(text, n), conv);
            break;
        }
        case '\0':
            stopped = true; // a '%' that ends the format
            break;
        default:
            std::fprintf(stderr, "wsprintfA: conversion \"%.*s\" is not supported, the text ends before it (format \"%s\")\n",
                         static_cast<int>(p - start + 1), start, format);
            stopped = true;
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
