// The console's command history: recall order at both ends, the cap, and
// the file's text surviving what people type (line breaks, backslashes,
// Chinese) while lines it cannot read are dropped, not guessed at.
#include "ui/console/history.h"

#include <gtest/gtest.h>

namespace {

TEST(History, UpAndDownWalkTheEntriesAndStopAtBothEnds)
{
    CommandHistory h;
    EXPECT_EQ(HistoryStep(h, true), nullptr); // nothing to recall
    HistoryAdd(h, {"1B 40", true});
    HistoryAdd(h, {"hello", false});
    HistoryAdd(h, {"hello", false}); // a repeat of the newest is not kept twice
    ASSERT_EQ(h.entries.size(), 2u);

    EXPECT_EQ(HistoryStep(h, true)->text, "hello");
    EXPECT_EQ(HistoryStep(h, true)->text, "1B 40");
    EXPECT_EQ(HistoryStep(h, true)->text, "1B 40"); // the oldest stays
    EXPECT_EQ(HistoryStep(h, false)->text, "hello");
    EXPECT_EQ(HistoryStep(h, false), nullptr); // past the newest: the empty box
    EXPECT_EQ(HistoryStep(h, false), nullptr);
    EXPECT_EQ(HistoryStep(h, true)->text, "hello");

    HistoryAdd(h, {"1B 40", true}); // a send puts the cursor past the newest again
    EXPECT_EQ(HistoryStep(h, true)->text, "1B 40");
}

TEST(History, KeepsTheNewestFifty)
{
    CommandHistory h;
    for (int i = 0; i < 60; ++i)
        HistoryAdd(h, {std::to_string(i), false});
    ASSERT_EQ(h.entries.size(), HISTORY_KEEP);
    EXPECT_EQ(h.entries.front().text, "10");
    EXPECT_EQ(h.entries.back().text, "59");

    std::string file;
    for (int i = 0; i < 70; ++i)
        file += "T " + std::to_string(i) + "\n";
    const CommandHistory read = HistoryParse(file);
    ASSERT_EQ(read.entries.size(), HISTORY_KEEP);
    EXPECT_EQ(read.entries.front().text, "20");
    EXPECT_EQ(read.cursor, HISTORY_KEEP);
}

TEST(History, FileTextKeepsEveryEntryAsTypedAndSkipsWhatItCannotRead)
{
    CommandHistory h;
    HistoryAdd(h, {"line one\r\nline two", false});
    HistoryAdd(h, {R"(C:\temp\n is not a break)", false});
    HistoryAdd(h, {"打印 中文", false});
    HistoryAdd(h, {"1C AA 0D", true});
    const std::string text = HistoryFormat(h);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4); // one line each
    EXPECT_EQ(HistoryParse(text).entries, h.entries);

    // Written by hand or cut short: unknown flags, a bad escape, a dangling
    // backslash and an empty text are skipped; CR LF line ends are fine.
    const CommandHistory read = HistoryParse("X 1B\nH 1B 40\r\nT a\\qb\nT end\\\nT \nH\n");
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0], (HistoryEntry{"1B 40", true}));
}

} // namespace
