// Tests of the virtual printer's parallel port registers and handshake.
#include "sim/parallel.h"
#include "sim/printer.h"

#include <gtest/gtest.h>

#include <thread>

using sim::ParallelPort;

namespace {

// The program's handshake for one byte: wait for ready, latch, strobe.
bool strobeByte(ParallelPort& port, uint8_t byte)
{
    uint8_t status = 0;
    for (int i = 0; i < 1000; ++i) {
        port.readPort(ParallelPort::kStatus, &status);
        if ((status & 0x80) && (status & 0x40))
            break;
    }
    if (!port.writePort(ParallelPort::kData, byte))
        return false;
    uint8_t control = 0;
    port.readPort(ParallelPort::kControl, &control);
    port.writePort(ParallelPort::kControl, control | 0x01);
    port.writePort(ParallelPort::kControl, control & ~0x01);
    return true;
}

} // namespace

TEST(ParallelPort, StatusBitsFollowConfiguration)
{
    struct Case {
        const char* name;
        void (*setup)(ParallelPort&);
        uint8_t mask, expected;
    } cases[] = {
        {"idle printer", [](ParallelPort&) {}, 0xC9, 0xC8},
        {"error line", [](ParallelPort& p) { p.setError(true); }, 0x08, 0x00},
        {"busy", [](ParallelPort& p) { p.setBusy(true); }, 0x80, 0x00},
        {"EPP time-out", [](ParallelPort& p) { p.setEppTimeout(true); }, 0x01, 0x01},
        {"busy while EPP queue empty", [](ParallelPort& p) { p.setBusyWhileEppEmpty(true); }, 0x80, 0x00},
    };
    for (const Case& c : cases) {
        ParallelPort port;
        c.setup(port);
        uint8_t v = 0;
        ASSERT_TRUE(port.readPort(ParallelPort::kStatus, &v)) << c.name;
        EXPECT_EQ(v & c.mask, c.expected) << c.name;
    }
}

TEST(ParallelPort, RegistersRefusalsAndAnOfflinePort)
{
    ParallelPort port;
    uint8_t v = 0;
    // The extended control register is a plain byte.
    ASSERT_TRUE(port.writePort(ParallelPort::kEcr, 0x34));
    ASSERT_TRUE(port.readPort(ParallelPort::kEcr, &v));
    EXPECT_EQ(v, 0x34);
    // EPP writes are kept in order and strobe nothing out.
    for (uint8_t b : {0x1B, 0x40, 0x0A})
        ASSERT_TRUE(port.writePort(ParallelPort::kEppData, b));
    EXPECT_EQ(port.eppWritten(), (std::vector<uint8_t>{0x1B, 0x40, 0x0A}));
    EXPECT_EQ(port.deliveredCount(), 0u);
    // Unknown addresses fail, and a failed read gives 0.
    v = 0x55;
    EXPECT_FALSE(port.readPort(0x3BC, &v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(port.writePort(0x37B, 1));
    // A refused data write keeps the latch; control still works.
    port.writePort(ParallelPort::kData, 0x11);
    port.setRefuseData(true);
    EXPECT_FALSE(port.writePort(ParallelPort::kData, 0x22));
    EXPECT_EQ(port.dataLatch(), 0x11);
    EXPECT_TRUE(port.writePort(ParallelPort::kControl, 0x01));

    ParallelPort offline;
    offline.setOffline(true);
    v = 0x55;
    EXPECT_FALSE(offline.readPort(ParallelPort::kStatus, &v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(offline.writePort(ParallelPort::kData, 1));
}

TEST(ParallelPort, EachStrobePulseDeliversTheLatchOnce)
{
    ParallelPort port;
    const std::vector<uint8_t> bytes{0x1B, 0x40, 0x41, 0x41, 0x0A};
    for (uint8_t b : bytes)
        ASSERT_TRUE(strobeByte(port, b));
    EXPECT_EQ(port.delivered(), bytes);
    EXPECT_EQ(port.strobes(), bytes.size());

    // Holding strobe, writing it again, or clearing it delivers nothing more.
    port.writePort(ParallelPort::kControl, 0x0D);
    port.writePort(ParallelPort::kControl, 0x0D);
    port.writePort(ParallelPort::kControl, 0x0C);
    port.writePort(ParallelPort::kControl, 0x0C);
    EXPECT_EQ(port.deliveredCount(), bytes.size() + 1);
    // The data latch alone delivers nothing.
    port.writePort(ParallelPort::kData, 0x99);
    EXPECT_EQ(port.deliveredCount(), bytes.size() + 1);
}

TEST(ParallelPort, BusyHoldsForExactlyTheConfiguredPolls)
{
    ParallelPort port;
    const uint64_t polls = 14680064; // the program's give-up count
    port.setBusyPolls(polls);
    uint8_t v = 0;
    uint64_t busy = 0;
    while (port.readPort(ParallelPort::kStatus, &v) && !(v & 0x80) && busy <= polls)
        ++busy;
    EXPECT_EQ(busy, polls);
    EXPECT_EQ(port.statusPolls(), polls + 1);
    EXPECT_TRUE(v & 0x80);
}

TEST(ParallelPort, StrobeTimingShowsAcknowledgeThenBusy)
{
    ParallelPort port;
    port.setStrobeTiming(2, 3);
    ASSERT_TRUE(strobeByte(port, 0x41));
    std::vector<uint8_t> seen;
    for (int i = 0; i < 4; ++i) {
        uint8_t v = 0;
        port.readPort(ParallelPort::kStatus, &v);
        seen.push_back(v & 0xC0);
    }
    EXPECT_EQ(seen, (std::vector<uint8_t>{0x00, 0x00, 0x40, 0xC0}));
}

TEST(ParallelPort, EppQueueAndTimeOut)
{
    ParallelPort port;
    port.setBusyWhileEppEmpty(true);
    const uint8_t bytes[] = {0x31, 0x32};
    port.pushEpp(bytes);
    uint8_t v = 0;
    port.readPort(ParallelPort::kStatus, &v);
    EXPECT_TRUE(v & 0x80);
    port.readPort(ParallelPort::kEppData, &v);
    EXPECT_EQ(v, 0x31);
    port.readPort(ParallelPort::kEppData, &v);
    EXPECT_EQ(v, 0x32);
    port.readPort(ParallelPort::kStatus, &v);
    EXPECT_FALSE(v & 0x80);
    EXPECT_FALSE(v & 0x01);
    // Reading with nothing queued times out; writing 1 to status clears it.
    port.readPort(ParallelPort::kEppData, &v);
    EXPECT_EQ(v, 0xFF);
    EXPECT_TRUE(port.peekStatus() & 0x01);
    port.writePort(ParallelPort::kStatus, 0x01);
    EXPECT_FALSE(port.peekStatus() & 0x01);
    EXPECT_EQ(port.eppReads(), 3u);
}

TEST(ParallelPort, StatusScriptThenItsLastValueWithTheEppLinesOnTop)
{
    ParallelPort port;
    port.setStatusScript({0x00, 0x7F, 0x80});
    port.setBusyWhileEppEmpty(true);
    const uint8_t one[] = {0x41};
    port.pushEpp(one);
    std::vector<uint8_t> seen;
    for (int i = 0; i < 4; ++i) {
        uint8_t v = 0;
        port.readPort(ParallelPort::kStatus, &v);
        seen.push_back(v);
    }
    EXPECT_EQ(seen, (std::vector<uint8_t>{0x00, 0x7F, 0x80, 0x80}));
    uint8_t v = 0;
    port.readPort(ParallelPort::kEppData, &v);
    port.readPort(ParallelPort::kStatus, &v);
    EXPECT_EQ(v, 0x00); // queue empty: busy
    port.setBusyWhileEppEmpty(false);
    port.readPort(ParallelPort::kEppData, &v); // nothing queued: time-out
    port.readPort(ParallelPort::kStatus, &v);
    EXPECT_EQ(v, 0x81);
    port.setStatusScript({});
    port.readPort(ParallelPort::kStatus, &v);
    EXPECT_EQ(v & 0xF8, 0xD8); // the lines again
}

TEST(ParallelPort, DeliversToAnAttachedPrinterAcrossThreads)
{
    ParallelPort port;
    sim::Printer printer;
    port.attach(printer);
    const std::vector<uint8_t> bytes{0x1B, 0x40, 0x1C, 0xAA, 0x23, 0x01};
    std::thread sender([&] {
        for (uint8_t b : bytes)
            strobeByte(port, b);
    });
    EXPECT_TRUE(port.waitForBytes(bytes.size(), std::chrono::seconds(5)));
    sender.join();
    EXPECT_TRUE(printer.waitFor([](const sim::PrinterState& s) { return s.cutter == true; },
                                std::chrono::seconds(5)));
    port.setSink({});
}
