// The receive view's record: what it keeps past its limit, which bytes it
// takes for status answers, and how a chunk reads as hex, text and a log line.
#include "printer/status.h"
#include "ui/console/receive.h"

#include <gtest/gtest.h>

namespace {

TEST(Receive, KeepsTheLastMiBAcrossChunksAndCountsEverything)
{
    RxView view;
    RxAppend(view, std::string(RX_VIEW_BYTES - 10, 'a'), "s", 0);
    RxAppend(view, std::string(30, 'b'), "s", 0); // 20 bytes too many: cut from the oldest chunk
    EXPECT_EQ(view.kept, RX_VIEW_BYTES);
    EXPECT_EQ(view.received, RX_VIEW_BYTES + 20);
    ASSERT_EQ(view.chunks.size(), 2u);
    EXPECT_EQ(view.chunks.front().bytes.size(), RX_VIEW_BYTES - 30);
    RxAppend(view, std::string(RX_VIEW_BYTES, 'c'), "s", 0); // the older chunks go whole
    ASSERT_EQ(view.chunks.size(), 1u);
    EXPECT_EQ(view.chunks.front().bytes[0], 'c');
    RxClear(view);
    EXPECT_EQ(view.received, 0u);
    EXPECT_EQ(RxRender(view, true, true), "");
}

TEST(Receive, OnlyBytesAnsweringAPendingRequestAreDecoded)
{
    RxView view;
    // A request among other bytes, and 10 04 05, which is no status request.
    RxExpectStatus(view, std::string("\x1B\x40\x10\x04\x04\x10\x04\x05", 8), 1000);
    EXPECT_EQ(RxAppend(view, std::string("\x7E\x12", 2), "t", 1100), "DLE EOT 4: 7E 纸将尽 缺纸\r\n");
    EXPECT_EQ(RxRender(view, true, false), "7E 12\r\nDLE EOT 4: 7E 纸将尽 缺纸\r\n");

    // An answer that comes too late is just a byte.
    RxClear(view);
    RxExpectStatus(view, std::string("\x10\x04\x01", 3), 1000);
    EXPECT_EQ(RxAppend(view, std::string("\x16", 1), "t", 1000 + RX_STATUS_ANSWER_MS + 1), "");
    EXPECT_EQ(RxRender(view, true, false), "16");
    EXPECT_EQ(StatusAnswerText(2, 0x00), "00 不是状态字节");
}

TEST(Receive, TextViewAndLogLine)
{
    RxView view;
    RxAppend(view, std::string("OK\x01\xD6\xD0", 5), "12:00:00.001", 0);
    RxAppend(view, "!", "12:00:00.002", 0);
    EXPECT_EQ(RxRender(view, false, false), "OK.中!"); // text runs on across chunks
    EXPECT_EQ(RxRender(view, false, true), "[12:00:00.001] OK.中\r\n[12:00:00.002] !");
    // CR, LF and CR LF each end a line, also when a read cut CR LF in two.
    RxView breaks;
    RxAppend(breaks, "a\r", "t1", 0);
    RxAppend(breaks, "\nb\rc\n\n", "t2", 0);
    EXPECT_EQ(RxRender(breaks, false, false), "a\r\nb\r\nc\r\n\r\n");
    EXPECT_EQ(RxRender(breaks, false, true), "[t1] a\r\n\r\n[t2] \r\nb\r\nc\r\n\r\n");
    // Hex goes 32 bytes to a line.
    RxView wide;
    RxAppend(wide, std::string(33, 'A'), "t", 0);
    EXPECT_EQ(RxRender(wide, true, false).substr(31 * 3), "41\r\n41");
    EXPECT_EQ(RxLogLine("12:00:00.001", false, std::string("A\x00", 2)), "12:00:00.001 接收 41 00 | A.\r\n");
    EXPECT_EQ(RxLogLine("12:00:00.001", true, std::string("\x10\x04\x01", 3)), "12:00:00.001 发送 10 04 01\r\n");
    EXPECT_EQ(RxLogStatus("12:00:00.001", "DLE EOT 1: 16 联机 钱箱引脚3高电平\r\nDLE EOT 2: 12 无脱机原因\r\n"),
              "12:00:00.001 状态 DLE EOT 1: 16 联机 钱箱引脚3高电平\r\n12:00:00.001 状态 DLE EOT 2: 12 无脱机原因\r\n");
}

} // namespace
