// UTF-8 <-> GBK (code page 936) and UTF-16 with the system's converters.
// A character the target cannot hold becomes one '?', as on every system.
#include "platform/windows/win.h"

namespace {

constexpr UINT kGbk = 936;

std::wstring ToWide(UINT codePage, std::string_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), n);
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    // UTF-8 takes neither a default character nor flags. Elsewhere an
    // unmappable character is '?', never a look-alike.
    const bool utf8 = codePage == CP_UTF8;
    const char* fallback = utf8 ? nullptr : "?";
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, fallback, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), n, fallback, nullptr);
    return out;
}

bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// GBK has no character beyond the basic plane: a surrogate pair is one
// character and becomes one '?'. U+FFFD (an invalid sequence of the source)
// becomes '?' too, not its GBK form.
std::wstring ForGbk(std::wstring_view wide)
{
    std::wstring out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i];
        if (IsHighSurrogate(c) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
            out += L'?';
            ++i;
        } else if (c == 0xFFFD || IsHighSurrogate(c) || IsLowSurrogate(c)) {
            out += L'?';
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::wstring PlatWide(std::string_view utf8)
{
    return ToWide(CP_UTF8, utf8);
}

std::string PlatNarrow(std::wstring_view wide)
{
    return FromWide(CP_UTF8, wide);
}

std::string PlatUtf8ToGbk(std::string_view utf8)
{
    return FromWide(kGbk, ForGbk(ToWide(CP_UTF8, utf8)));
}

std::string PlatGbkToUtf8(std::string_view gbk)
{
    return FromWide(CP_UTF8, ToWide(kGbk, gbk));
}

std::string PlatSettingsFolder()
{
    // Beside the program's other per-user data; the folder is made by
    // whoever writes there first.
    const DWORD size = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (size == 0)
        return {};
    std::wstring folder(size, L'\0');
    folder.resize(GetEnvironmentVariableW(L"APPDATA", folder.data(), size));
    return FromWide(CP_UTF8, folder) + "\\mptest";
}
