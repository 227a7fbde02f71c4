// What the printer says it is: the GS I n requests (1 model, 2 type,
// 3 firmware version), one byte answered to each, and the answers in words.
#pragma once

#include "platform/win32.h"

#include <array>
#include <optional>
#include <string>

constexpr int kInfoRequestCount = 3;

// GS I 1, GS I 2, GS I 3 in one stream: the printer answers one byte to
// each, in that order.
std::string InfoRequestBytes();
// The three answers from what came back (in order; missing ones stay empty).
std::array<std::optional<BYTE>, kInfoRequestCount> InfoAnswers(const std::string& received);
// The label of request n (0..2): "型号", "类型", "固件版本".
const char* InfoLabel(int request);
// An answer in words: "0x20 (32)" for model and version, the type byte's
// set bits in Chinese; "无应答" when none came.
std::string InfoAnswerText(int request, std::optional<BYTE> answer);
