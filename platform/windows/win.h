// Helpers shared by the Windows platform's own sources.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 to UTF-16 and back; an invalid sequence becomes U+FFFD.
std::wstring PlatWide(std::string_view utf8);
std::string PlatNarrow(std::wstring_view wide);

// A bitmap of a PNG picture; nullptr when it cannot be decoded.
HBITMAP PlatDecodePngToBitmap(const unsigned char* png, size_t size);
