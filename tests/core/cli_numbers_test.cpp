// mptest-cli's own arithmetic: the counter's next number, the log's CSV
// line, and the digest of a file sent.
#include "cli/cli.h"

#include <gtest/gtest.h>

TEST(CliNumbers, TheCounterCountsItsDigitsAndKeepsPrefixAndWidth)
{
    std::string next;
    ASSERT_TRUE(NextCounterValue("KQ5800000001", &next));
    EXPECT_EQ(next, "KQ5800000002");
    ASSERT_TRUE(NextCounterValue("KQ5800000099", &next));
    EXPECT_EQ(next, "KQ5800000100");
    // Only the last run of digits counts: the 58 of the prefix stays.
    ASSERT_TRUE(NextCounterValue("AB58CD000009", &next));
    EXPECT_EQ(next, "AB58CD000010");
    // No digits to count, or no room for the next number: refused, untouched.
    next = "untouched";
    EXPECT_FALSE(NextCounterValue("KQABCDEFGHIJ", &next));
    EXPECT_FALSE(NextCounterValue("KQ9999999999", &next));
    EXPECT_FALSE(NextCounterValue("", &next));
    EXPECT_EQ(next, "untouched");
}

TEST(CliNumbers, ACounterFileIsReadAsEditorsWriteItAndRewrittenAlike)
{
    struct Case {
        const char* content;
        const char* number;
        bool usedUp;
        const char* afterIssue; // the file once the number went; "" where it cannot go
    };
    const Case cases[] = {
        {"KQ5800000001\n", "KQ5800000001", false, "KQ5800000002\n"},
        {"\xEF\xBB\xBFKQ5800000001\r\n", "KQ5800000001", false, "\xEF\xBB\xBFKQ5800000002\r\n"},
        {"KQ9999999999", "KQ9999999999", false, "used up after KQ9999999999\n"},
        {"999999999999 \n", "999999999999", false, "used up after 999999999999\n"},
        {"KQABCDEFGHIJ\n", "KQABCDEFGHIJ", false, ""},
        {"\xEF\xBB\xBFused up after KQ9999999999\r\n", "KQ9999999999", true, ""},
    };
    for (const Case& c : cases) {
        const CounterText read = ReadCounterText(c.content);
        EXPECT_EQ(read.number, c.number) << c.content;
        EXPECT_EQ(read.usedUp, c.usedUp) << c.content;
        if (read.usedUp) {
            EXPECT_EQ(CounterFileText(read), c.content); // read back as written
            continue;
        }
        CounterText after;
        EXPECT_EQ(CounterAfterIssue(read, &after), *c.afterIssue != '\0') << c.content;
        if (*c.afterIssue != '\0') {
            EXPECT_EQ(CounterFileText(after), c.afterIssue) << c.content;
        }
    }
}

TEST(CliNumbers, LogLinesQuoteWhatWouldBreakTheirColumns)
{
    EXPECT_EQ(LogLine("2026-12-07T12:00:00Z", "station-1", "COM1", "/dev/ttyUSB0", "KQ5800000001", true),
              "2026-12-07T12:00:00Z,station-1,COM1,/dev/ttyUSB0,KQ5800000001,ok\n");
    EXPECT_EQ(LogLine("t", "a,b", "usb", "say \"hi\"", "N", false), "t,\"a,b\",usb,\"say \"\"hi\"\"\",N,failed\n");
}

TEST(CliNumbers, Sha256MatchesTheStandardsVectors)
{
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padding block.
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
