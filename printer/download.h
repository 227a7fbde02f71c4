// The bytes of the downloads: the firmware's entry into its download state,
// the font preamble and the printer's answer to it, and the machine number.
#pragma once

#include "platform/win32.h"

#include <array>
#include <string>

// Sent before a font file; on a serial line the printer answers kFontAnswer.
constexpr std::array<BYTE, 3> kFontPreamble{0x1C, 0xAA, 0x0D};
constexpr std::array<BYTE, 3> kFontAnswer{0x1C, 0xAA, 0xAA};

// The firmware dialog's "enter download state" command.
std::string EnterDownloadBytes();

constexpr size_t kPrnNumLength = 12;
// Exactly twelve ASCII letters and digits, nothing trimmed.
bool IsLegalPrnNum(const char* text);
// The machine-number write for a legal number, and the print request.
std::string PrnNumWriteBytes(const char* number);
std::string PrnNumPrintBytes();
