// The printer-ID requests and their answers in words.
#include "printer/info.h"

#include <cstdio>

namespace {

const char* const kLabels[kInfoRequestCount] = {"型号", "类型", "固件版本"};

// The type byte: bits 0-2 mean something, bit 4 and 7 are always 0.
struct TypeBit {
    BYTE mask;
    const char* set;
    const char* clear;
};
const TypeBit kTypeBits[] = {
    {0x01, "支持双字节字符", "不支持双字节字符"},
    {0x02, "有自动切刀", "无自动切刀"},
    {0x04, "热敏标签纸", "非标签纸"},
};

std::string Hex(BYTE b)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X (%u)", b, b);
    return text;
}

} // namespace

std::string InfoRequestBytes()
{
    return std::string("\x1D\x49\x01\x1D\x49\x02\x1D\x49\x03", 9);
}

std::array<std::optional<BYTE>, kInfoRequestCount> InfoAnswers(const std::string& received)
{
    std::array<std::optional<BYTE>, kInfoRequestCount> answers;
    for (size_t i = 0; i < answers.size() && i < received.size(); ++i)
        answers[i] = static_cast<BYTE>(received[i]);
    return answers;
}

const char* InfoLabel(int request)
{
    return request >= 0 && request < kInfoRequestCount ? kLabels[request] : "";
}

std::string InfoAnswerText(int request, std::optional<BYTE> answer)
{
    if (!answer)
        return "无应答";
    std::string text = Hex(*answer);
    if (request != 1)
        return text;
    for (const TypeBit& bit : kTypeBits)
        text += std::string("，") + ((*answer & bit.mask) ? bit.set : bit.clear);
    for (int b = 3; b < 8; ++b)
        if (*answer & (1 << b))
            text += "，位" + std::to_string(b) + "未定义";
    return text;
}
