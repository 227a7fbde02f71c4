// Hexadecimal digits and typed hexadecimal text.
#include "send/hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> Translate(const std::string& text)
{
    std::vector<BYTE> out(text.size() + 1, 0xEE);
    const BYTE n = TranslateString(out.data(), text.data(), static_cast<DWORD>(text.size()));
    out.resize(n);
    return out;
}

struct TranslateCase {
    const char* text;
    std::vector<BYTE> bytes;
};

TEST(TranslateString, PairsDigitsWhereverTheyStand)
{
    const TranslateCase cases[] = {
        {"1B 40", {0x1B, 0x40}},
        {"1B40", {0x1B, 0x40}},
        {"1 B 4 0", {0x1B, 0x40}},       // a blank does not end a pair
        {"1B4", {0x1B}},                 // a lone last digit is dropped
        {"0x1B", {0x01}},                // the prefix's 0 is a digit, x is skipped
        {"1b 40 0a", {0x1B, 0x40, 0x0A}},
        {"1B,40\r\n0A", {0x1B, 0x40, 0x0A}},
        {"ff FF", {0xFF, 0xFF}},
        {"", {}},
        {"ghij-+ ", {}},
        {"no digits here", {0xDE}},      // d, e, e: letters a-f count even inside words
    };
    for (const auto& c : cases)
        EXPECT_EQ(Translate(c.text), c.bytes) << "text: " << c.text;
}

// Null or empty input gives nothing; only the given length is read, at most
// half of it written; the count is eight bits wide.
TEST(TranslateString, EdgesOfTheInput)
{
    BYTE out[8];
    std::fill(std::begin(out), std::end(out), 0xEE);
    EXPECT_EQ(TranslateString(nullptr, "1B", 2), 0);
    EXPECT_EQ(TranslateString(out, nullptr, 2), 0);
    EXPECT_EQ(TranslateString(out, "1B", 0), 0);
    const char text[] = {'1', 'B', '4', '0', '4', '1'}; // not NUL-terminated
    EXPECT_EQ(TranslateString(out, text, 4), 2);
    EXPECT_EQ(std::vector<BYTE>(out, out + 3), (std::vector<BYTE>{0x1B, 0x40, 0xEE}));
    std::string many(2 * 300, 'a');
    std::vector<BYTE> big(many.size());
    EXPECT_EQ(TranslateString(big.data(), many.data(), static_cast<DWORD>(many.size())), 300 % 256);
}

TEST(AnkToByte, AcceptsHexDigitsOnly)
{
    // Only the low 8 bits count: 0x141 is 'A'.
    const std::pair<int, int> accepted[] = {{'0', 0},  {'9', 9},  {'A', 10},   {'F', 15},
                                            {'a', 10}, {'f', 15}, {0x141, 10}};
    for (auto [ch, value] : accepted) {
        BYTE out = 0xEE;
        EXPECT_TRUE(AnkToByte(&out, ch)) << static_cast<char>(ch);
        EXPECT_EQ(out, value);
    }
    const int rejected[] = {'g', 'G', ' ', '/', ':', '@', '`', 0x80, 0xC1, 0xFF, 0};
    for (int ch : rejected) {
        BYTE out = 0xEE;
        EXPECT_FALSE(AnkToByte(&out, ch)) << ch;
        EXPECT_EQ(out, 0xEE) << "out untouched for " << ch;
    }
}

} // namespace
