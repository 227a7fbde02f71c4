// The status requests and the answers' meanings (see status.h).
#include "printer/status.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr BYTE kDle = 0x10;
constexpr BYTE kEot = 0x04;

struct StatusMeaning {
    BYTE mask;
    const char* set;   // what the bits say when all are set
    const char* clear; // and when none is (nullptr: nothing worth saying)
};

// What each answer's bits mean, by request 1 ... 4; bits 1 and 4 are always
// set in an answer, bits 0 and 7 never.
const std::array<std::array<StatusMeaning, 4>, kStatusRequests> kStatusMeanings{{
    {{{0x08, "脱机", "联机"}, {0x04, "钱箱引脚3高电平", nullptr}, {0x20, "等待联机恢复", nullptr},
      {0x40, "进纸键按下", nullptr}}},
    {{{0x04, "上盖打开", nullptr}, {0x08, "进纸键进纸中", nullptr}, {0x20, "缺纸", nullptr},
      {0x40, "出错", nullptr}}},
    {{{0x04, "机械错误", nullptr}, {0x08, "切刀错误", nullptr}, {0x20, "不可恢复错误", nullptr},
      {0x40, "可自动恢复错误", nullptr}}},
    {{{0x0C, "纸将尽", nullptr}, {0x60, "缺纸", nullptr}, {0x00, nullptr, nullptr}, {0x00, nullptr, nullptr}}},
}};

const std::array<const char*, kStatusRequests> kNoCondition{nullptr, "无脱机原因", "无错误", "纸充足"};

} // namespace

std::array<BYTE, 3> StatusRequestBytes(int request)
{
    return {kDle, kEot, static_cast<BYTE>(request)};
}

std::array<BYTE, 3 * kStatusRequests> StatusQueryBytes()
{
    std::array<BYTE, 3 * kStatusRequests> all{};
    for (int n = 1; n <= kStatusRequests; ++n) {
        const auto one = StatusRequestBytes(n);
        std::copy(one.begin(), one.end(), all.begin() + 3 * (n - 1));
    }
    return all;
}

int StatusRequestAt(std::string_view bytes, size_t at)
{
    if (at + 2 >= bytes.size() || static_cast<BYTE>(bytes[at]) != kDle || static_cast<BYTE>(bytes[at + 1]) != kEot)
        return 0;
    const int n = static_cast<BYTE>(bytes[at + 2]);
    return n >= 1 && n <= kStatusRequests ? n : 0;
}

std::string StatusAnswerText(int request, BYTE value)
{
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", unsigned{value});
    std::string out = hex;
    if (request < 1 || request > kStatusRequests)
        return out;
    if ((value & 0x93) != 0x12)
        return out + " 不是状态字节";
    bool any = false;
    for (const StatusMeaning& m : kStatusMeanings[static_cast<size_t>(request - 1)]) {
        if (m.mask == 0)
            continue;
        // Either bit of a pair (paper low, paper out) is enough to say it.
        if (value & m.mask) {
            out += std::string(" ") + m.set;
            any = true;
        } else if (m.clear != nullptr) {
            out += std::string(" ") + m.clear;
        }
    }
    if (!any && kNoCondition[static_cast<size_t>(request - 1)] != nullptr)
        out += std::string(" ") + kNoCondition[static_cast<size_t>(request - 1)];
    return out;
}
