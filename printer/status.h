// The printer's real-time status: the DLE EOT n requests (n 1 … 4: the
// printer, the offline cause, the error cause, the paper sensor) and what
// the byte answering each says.
#pragma once

#include "platform/win32.h"

#include <array>
#include <string>
#include <string_view>

constexpr int kStatusRequests = 4;

// DLE EOT n.
std::array<BYTE, 3> StatusRequestBytes(int request);
// The four requests one after another, as a status query sends them.
std::array<BYTE, 3 * kStatusRequests> StatusQueryBytes();
// n when a DLE EOT n (1 … 4) starts at `at` in `bytes`, else 0.
int StatusRequestAt(std::string_view bytes, size_t at);
// "16 联机 钱箱引脚3高电平": the answer byte to DLE EOT `request` in hex,
// then what its bits say; "00 不是状态字节" for a byte no answer can be.
std::string StatusAnswerText(int request, BYTE value);
