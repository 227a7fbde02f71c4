// The printer's code page on the real system's converters: the same bytes
// as on every other system.
#include "platform/windows/win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct GbkCase {
    const char* name;
    std::string utf8;
    std::string gbk;
};

TEST(WindowsText, Utf8ToGbk)
{
    const GbkCase cases[] = {
        {"ascii passes", "ESC @\n", "ESC @\n"},
        {"typed chinese", "测试", "\xB2\xE2\xCA\xD4"},
        {"mixed", "A测B", "A\xB2\xE2" "B"},
        {"empty", "", ""},
        {"nul kept", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"no gbk form", "\xF0\x9F\x98\x80", "?"},
        {"stray continuation", "a\x80z", "a?z"},
        {"cut sequence at end", "a\xE6\xB5", "a?"},
    };
    for (const GbkCase& c : cases)
        EXPECT_EQ(PlatUtf8ToGbk(c.utf8), c.gbk) << c.name;
}

TEST(WindowsText, GbkToUtf8)
{
    const GbkCase cases[] = {
        {"ascii passes", "abc", "abc"},
        {"chinese", "测试", "\xB2\xE2\xCA\xD4"},
        {"empty", "", ""},
    };
    for (const GbkCase& c : cases)
        EXPECT_EQ(PlatGbkToUtf8(c.gbk), c.utf8) << c.name;
}

TEST(WindowsText, WideRoundTrip)
{
    const std::string texts[] = {"", "mptest", "微型打印机综合测试软件V2.4", "\xF0\x9F\x98\x80"};
    for (const std::string& t : texts)
        EXPECT_EQ(PlatNarrow(PlatWide(t)), t) << t;
    EXPECT_EQ(PlatWide("测"), std::wstring(1, L'\x6D4B'));
}

// The manifest makes UTF-8 the process code page, so the A functions take
// the program's strings as they are.
TEST(WindowsText, ProcessCodePageIsUtf8)
{
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

} // namespace
