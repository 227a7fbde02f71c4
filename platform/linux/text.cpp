// UTF-8 <-> GBK (code page 936) with iconv. A character that cannot be
// converted becomes one '?' and the conversion goes on with the next one.
#include "platform/win32.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace {

// One converter per thread and direction: an iconv descriptor keeps state.
class Converter {
public:
    Converter(const char* to, const char* from, const char* toAlt, const char* fromAlt)
    {
        cd_ = iconv_open(to, from);
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            cd_ = iconv_open(toAlt, fromAlt);
    }
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Bytes of the bad character at s[0]: a well-formed UTF-8 sequence that GBK
// lacks is skipped whole, so is a lead byte with the part of its sequence
// that is there; a stray byte alone.
size_t BadUtf8Length(const unsigned char* s, size_t n)
{
    size_t len = s[0] >= 0xF0 && s[0] <= 0xF4 ? 4 : s[0] >= 0xE0 && s[0] < 0xF0 ? 3 : s[0] >= 0xC2 && s[0] < 0xE0 ? 2 : 1;
    size_t i = 1;
    while (i < len && i < n && (s[i] & 0xC0) == 0x80)
        ++i;
    return i;
}

// A GBK lead byte with a valid trail byte is one (unmapped) character.
size_t BadGbkLength(const unsigned char* s, size_t n)
{
    if (n >= 2 && s[0] >= 0x81 && s[0] <= 0xFE && s[1] >= 0x40 && s[1] <= 0xFE && s[1] != 0x7F)
        return 2;
    return 1;
}

std::string Convert(Converter& conv, std::string_view in, size_t (*badLength)(const unsigned char*, size_t))
{
    // ASCII is the same in both, and most of what goes through here (a log
    // line's shown text, a command typed) is nothing else.
    if (std::all_of(in.begin(), in.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(in);
    std::string out;
    if (!conv.ok()) {
        // No converter on this system: ASCII passes, the rest is '?'.
        for (unsigned char c : in)
            out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    }
    iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char buf[256];
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof buf;
        size_t r = iconv(conv.get(), &src, &left, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ (bad or unmappable) or EINVAL (cut short at the end).
        size_t skip = errno == EINVAL ? left : badLength(reinterpret_cast<const unsigned char*>(src), left);
        out += '?';
        src += skip;
        left -= skip;
        iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

} // namespace

std::string PlatUtf8ToGbk(std::string_view utf8)
{
    thread_local Converter conv("GBK", "UTF-8", "CP936", "UTF-8");
    return Convert(conv, utf8, BadUtf8Length);
}

std::string PlatGbkToUtf8(std::string_view gbk)
{
    thread_local Converter conv("UTF-8", "GBK", "UTF-8", "CP936");
    return Convert(conv, gbk, BadGbkLength);
}
