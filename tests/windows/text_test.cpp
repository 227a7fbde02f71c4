// The printer's code page on the real system's converters: the same bytes
// as on every other system.
#include "platform/windows/win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WindowsText, Utf8ToGbk)
{
    const struct Case {
        const char* name;
        std::string utf8;
        std::string gbk;
        bool back;  // the GBK converts back to the same UTF-8
        bool valid; // the UTF-8 goes to UTF-16 and back unchanged
    } cases[] = {
        {"ascii passes", "ESC @\n", "ESC @\n", true, true},
        {"typed chinese", "测试", "\xB2\xE2\xCA\xD4", true, true},
        {"mixed", "A测B", "A\xB2\xE2" "B", true, true},
        {"empty", "", "", true, true},
        {"nul kept", std::string("a\0b", 3), std::string("a\0b", 3), true, true},
        {"no gbk form", "\xF0\x9F\x98\x80", "?", false, true},
        {"stray continuation", "a\x80z", "a?z", false, false},
        {"cut sequence at end", "a\xE6\xB5", "a?", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PlatUtf8ToGbk(c.utf8), c.gbk);
        if (c.back) {
            EXPECT_EQ(PlatGbkToUtf8(c.gbk), c.utf8);
        }
        if (c.valid) {
            EXPECT_EQ(PlatNarrow(PlatWide(c.utf8)), c.utf8);
        }
    }
    EXPECT_EQ(PlatWide("测"), std::wstring(1, L'\x6D4B'));
}

// The manifest makes UTF-8 the process code page, so the A functions take
// the program's strings as they are.
TEST(WindowsText, ProcessCodePageIsUtf8)
{
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

} // namespace
