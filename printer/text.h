// Typed text as the printer receives it: its code page (GBK), and the most
// one typed send carries.
#pragma once

#include "platform/win32.h"

#include <string>

// The most the console sends of typed text, in the printer's bytes.
constexpr DWORD kMaxTypedBytes = 511;
// Typed text (UTF-8) in the printer's code page, at most kMaxTypedBytes
// bytes, never ending in half a double-byte character.
std::string TextForPrinter(const char* utf8);
