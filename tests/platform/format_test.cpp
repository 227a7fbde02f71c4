// wsprintfA against what Windows prints, and the GBK conversion against
// fixed byte vectors.
#include "support.h"

namespace {

TEST(Wsprintf, FormatsAsWindows)
{
    char buf[2048];
    struct Case { std::string got; const char* want; } cases[] = {
        {(wsprintfA(buf, "%d", -42), buf), "-42"},
        {(wsprintfA(buf, "%02x %02x %x", 0x0au, 0xabu, 0xbeefu), buf), "0a ab beef"},
        {(wsprintfA(buf, "[%5d][%05d]", 42, -42), buf), "[   42][-0042]"},
        {(wsprintfA(buf, "%s=%c", "key", 'v'), buf), "key=v"},
        {(wsprintfA(buf, "%s", static_cast<const char*>(nullptr)), buf), "(null)"},
        {(wsprintfA(buf, "100%%"), buf), "100%"},
        {(wsprintfA(buf, "更新进度:%d%c", 50, '%'), buf), "更新进度:50%"},
        {(wsprintfA(buf, "读取%d字节", 6), buf), "读取6字节"},
        {(wsprintfA(buf, "a%ub%s|%i|%lu|%ld", 7u, "x", -3, 4000000000u, -5L), buf), "a7bx|-3|4000000000|-5"},
        {(wsprintfA(buf, "[%-5d][%5s][%.2s][%.3d]", 42, "ab", "xyz", 7), buf), "[42   ][   ab][xy][007]"},
        {(wsprintfA(buf, "%X|%#x|%#06X|%lx", 0xabu, 0x1fu, 0xabu, 0xffffffffu), buf), "AB|0x1f|0X00AB|ffffffff"},
        // What Windows formats but the program never asks for ends the
        // text before it, with a word on standard error, and reads no
        // argument for it: %s after it would read a number as an address.
        {(wsprintfA(buf, "a%Sb%s", L"w", "x"), buf), "a"},
        {(wsprintfA(buf, "v=%f%s", 1.5, "x"), buf), "v="},
        {(wsprintfA(buf, "end %"), buf), "end "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want);
    // It returns the length, and stops at 1024 with its NUL, widths too.
    EXPECT_EQ(wsprintfA(buf, "abc%d", 12), 5);
    EXPECT_EQ(wsprintfA(buf, "%s", std::string(1500, 'x').c_str()), 1023);
    EXPECT_EQ(std::string(buf).size(), 1023u);
    EXPECT_EQ(wsprintfA(buf, "%2000d", 1), 1023);
    EXPECT_EQ(wsprintfA(buf, "a%Sb", L"w"), 1);
}

std::string Bytes(std::initializer_list<unsigned> v)
{
    std::string s;
    for (unsigned b : v)
        s += static_cast<char>(b);
    return s;
}

TEST(Text, FixedVectors)
{
    struct Case { const char* utf8; std::string gbk; } cases[] = {
        {"测试钱箱", Bytes({0xB2, 0xE2, 0xCA, 0xD4, 0xC7, 0xAE, 0xCF, 0xE4})},
        {"ABC 123\r\n", "ABC 123\r\n"},
        {"", ""},
        {"串口:  9600bps,8位,无", Bytes({0xB4, 0xAE, 0xBF, 0xDA, ':', ' ', ' ', '9', '6', '0', '0', 'b', 'p', 's', ',',
                                          '8', 0xCE, 0xBB, ',', 0xCE, 0xDE})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(PlatUtf8ToGbk(c.utf8), c.gbk);
        EXPECT_EQ(PlatGbkToUtf8(c.gbk), c.utf8);
    }
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "打印机忙! abc ";
    const std::string gbk = PlatUtf8ToGbk(text);
    EXPECT_EQ(gbk.size(), 2000u * (4 * 2 + 6));
    EXPECT_EQ(PlatGbkToUtf8(gbk), text);
}

TEST(Text, BadInputBecomesOneQuestionMarkPerCharacter)
{
    struct Case { const char* what; std::string in; std::string out; bool toGbk; } cases[] = {
        {"stray continuation byte", "a\x80z", "a?z", true},
        {"lone lead byte at the end", "ab\xE6", "ab?", true},
        {"truncated sequence in the middle", "\xE6\xB5" "z", "?z", true},
        {"character GBK lacks", "a\xF0\x9F\x98\x80z", "a?z", true}, // an emoji
        {"two bad ones", "\xFF\xFE", "??", true},
        {"lone GBK lead at the end", Bytes({'a', 0xB2}), "a?", false},
        {"invalid GBK byte", Bytes({'a', 0xFF, 'b'}), "a?b", false},
        {"good after bad", Bytes({0xFF, 0xB2, 0xE2}), "?测", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.toGbk ? PlatUtf8ToGbk(c.in) : PlatGbkToUtf8(c.in), c.out);
    }
}

// The cut a byte limit makes in printer text never leaves half a character.
TEST(Text, GbkCutNeverSplitsADoubleByteCharacter)
{
    const std::string mixed = Bytes({'a', 0xB2, 0xE2, 'b', 0xCA, 0xD4}); // a测b试
    struct Case { std::string gbk; size_t limit; size_t keep; } cases[] = {
        {mixed, 6, 6}, {mixed, 100, 6}, // all fits
        {mixed, 5, 4},                  // 试 would be cut: it goes whole
        {mixed, 4, 4}, {mixed, 3, 3},
        {mixed, 2, 1},                  // 测 would be cut
        {mixed, 1, 1}, {mixed, 0, 0},
        {"", 5, 0},
        {Bytes({'a', 0xB2}), 2, 2},     // a lone lead byte at the end counts as one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        EXPECT_EQ(PlatGbkCut(c.gbk, c.limit), c.keep);
    }
}

} // namespace
