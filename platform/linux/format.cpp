// wsprintfA: the small printf of the Windows user library. It knows only
// %c %C %d %i %u %x %X %s %S and %%, with the flags - 0 #, a width, a precision
// and the size prefixes h, l and I64 (l is 32 bits, as long is on Windows);
// no floating point. The output stops at 1023 characters plus the NUL.
#include "platform/linux/kernel.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

constexpr size_t kMaxOut = 1024; // bytes, the terminating NUL included

void AppendWide(std::string& out, const WCHAR* w, int precision)
{
    // UTF-16 to UTF-8, one character at a time; a lone surrogate becomes '?'.
    int count = 0;
    for (size_t i = 0; w[i] != 0 && (precision < 0 || count < precision); ++i, ++count) {
        uint32_t c = w[i];
        if (c >= 0xD800 && c <= 0xDBFF && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

void Pad(std::string& out, const std::string& body, int width, bool left, char fill)
{
    int pad = width - static_cast<int>(body.size());
    if (pad <= 0) {
        out += body;
        return;
    }
    if (left) {
        out += body;
        out.append(static_cast<size_t>(pad), ' ');
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
    for (const char* p = format; *p != '\0' && out.size() < kMaxOut; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == '\0')
            break;
        bool left = false, alt = false;
        char fill = ' ';
        for (;; ++p) {
            if (*p == '-')
                left = true;
            else if (*p == '0')
                fill = '0';
            else if (*p == '#')
                alt = true;
            else
                break;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9')
            width = width * 10 + (*p++ - '0');
        int precision = -1;
        if (*p == '.') {
            ++p;
            precision = 0;
            while (*p >= '0' && *p <= '9')
                precision = precision * 10 + (*p++ - '0');
        }
        enum { Default, Short, Long, Wide64 } size = Default;
        if (*p == 'h') {
            size = Short;
            ++p;
        } else if (*p == 'l') {
            size = Long;
            ++p;
        } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            size = Wide64;
            p += 3;
        }
        if (width > static_cast<int>(kMaxOut))
            width = static_cast<int>(kMaxOut);
        if (precision > static_cast<int>(kMaxOut))
            precision = static_cast<int>(kMaxOut);
        char type = *p;
        if (type == '\0')
            break;
        std::string body;
        char tmp[80];
        switch (type) {
        case 'd':
        case 'i': {
            long long v = size == Wide64 ? va_arg(ap, long long) : static_cast<long long>(va_arg(ap, int));
            if (size == Short)
                v = static_cast<short>(v);
            if (precision >= 0)
                std::snprintf(tmp, sizeof tmp, "%.*lld", precision, v);
            else
                std::snprintf(tmp, sizeof tmp, "%lld", v);
            body = tmp;
            Pad(out, body, width, left, precision >= 0 ? ' ' : fill);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long long v = size == Wide64 ? va_arg(ap, unsigned long long)
                                                  : static_cast<unsigned long long>(va_arg(ap, unsigned int));
            if (size == Short)
                v = static_cast<unsigned short>(v);
            const char* conv = type == 'u' ? "llu" : (type == 'x' ? "llx" : "llX");
            char pattern[16];
            std::snprintf(pattern, sizeof pattern, "%%%s.*%s", (alt && type != 'u') ? "#" : "", conv);
            std::snprintf(tmp, sizeof tmp, pattern, precision < 0 ? 1 : precision, v);
            body = tmp;
            Pad(out, body, width, left, precision >= 0 ? ' ' : fill);
            break;
        }
        case 'c':
        case 'C': {
            int c = va_arg(ap, int);
            if (type == 'C' || size == Long) {
                WCHAR w[2] = {static_cast<WCHAR>(c), 0};
                AppendWide(body, w, -1);
            } else {
                body = std::string(1, static_cast<char>(c));
            }
            Pad(out, body, width, left, fill);
            break;
        }
        case 's':
        case 'S': {
            if (type == 'S' || size == Long) {
                const WCHAR* w = va_arg(ap, const WCHAR*);
                if (w == nullptr)
                    body = "(null)";
                else
                    AppendWide(body, w, precision);
            } else {
                const char* s = va_arg(ap, const char*);
                if (s == nullptr)
                    s = "(null)";
                size_t n = 0;
                while (s[n] != '\0' && (precision < 0 || n < static_cast<size_t>(precision)) && n < kMaxOut)
                    ++n;
                body.assign(s, n);
            }
            Pad(out, body, width, left, fill);
            break;
        }
        default:
            // Windows copies an unknown type character (and so "%%" gives "%").
            out += type;
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
