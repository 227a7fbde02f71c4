// Helpers shared by the Windows platform's own sources.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 to UTF-16 and back; an invalid sequence becomes U+FFFD.
std::wstring PlatWide(std::string_view utf8);
std::string PlatNarrow(std::wstring_view wide);

// The lookups PlatSetResourceFinders registered last (the test API puts
// its own templates before the program's).
struct PlatResourceFinders;
const PlatResourceFinders& PlatCurrentResourceFinders();

// A bitmap of a PNG picture; nullptr when it cannot be decoded.
HBITMAP PlatDecodePngToBitmap(const unsigned char* png, size_t size);
