// The parallel writer's software handshake, the probe of the extended
// control register and DisplayDword2, against the virtual printer's
// register model behind the port-I/O layer.
#include "port/port.h"
#include "port/portio.h"
#include "support/message_boxes.h"
#include "support/parallel_backend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using testsupport::BackendGuard;
using testsupport::MessageBoxRecorder;
using testsupport::SimParallelBackend;

namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;

class ParallelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(guard.ok());
        ClearPortRecord(gCurrentPort);
        gLptInfo = 0;
    }
    void TearDown() override { ClearPortRecord(gCurrentPort); }

    std::vector<BYTE> controlWrites() const
    {
        std::vector<BYTE> result;
        for (auto [port, value] : backend.writes())
            if (port == LPT_CONTROL)
                result.push_back(value);
        return result;
    }

    sim::ParallelPort printer;
    SimParallelBackend backend{printer};
    BackendGuard guard{&backend};
    MessageBoxRecorder boxes;
};

// Every byte goes out once, in order, also when the acknowledge line and
// busy are held for some polls after each strobe; a length of zero only
// reads the status.
TEST_F(ParallelTest, ReadyPrinterReceivesEveryByteInOrder)
{
    const BYTE data[] = {0x1B, 0x40, 'A', 0x0A, 0x00, 0xFF};
    DWORD written = kUntouched;
    EXPECT_TRUE(WriteParallelPort(data, sizeof data, &written));
    EXPECT_EQ(written, sizeof data);
    EXPECT_EQ(printer.delivered(), std::vector<uint8_t>(std::begin(data), std::end(data)));

    const uint64_t polls = printer.statusPolls();
    const size_t writes = backend.writes().size();
    EXPECT_TRUE(WriteParallelPort(nullptr, 0, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(printer.statusPolls(), polls + 1);
    EXPECT_EQ(backend.writes().size(), writes);

    printer.clearDelivered();
    printer.setStrobeTiming(7, 11);
    EXPECT_TRUE(WriteParallelPort(data, 3, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(printer.delivered(), (std::vector<uint8_t>{0x1B, 0x40, 'A'}));
    EXPECT_GE(printer.statusPolls(), polls + 1 + 1u + 3u + 2u * 11u);
    EXPECT_TRUE(boxes.calls().empty());
}

// A transfer given up ends the wait for a busy printer at once, from any
// thread, without "打印机忙!".
TEST_F(ParallelTest, AnAbortEndsTheBusyWaitWithoutAMessage)
{
    const BYTE data[] = {'A', 'B'};
    DWORD written = kUntouched;
    BOOL ok = TRUE;
    std::thread writer([&] {
        printer.setBusy(true);
        ok = WriteParallelPort(data, sizeof data, &written);
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (printer.statusPolls() < 1000 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    EXPECT_GE(printer.statusPolls(), 1000u) << "the writer never waited for the busy printer";
    PortAbortWaits();
    writer.join();
    PortClearAbort();
    EXPECT_FALSE(ok);
    EXPECT_EQ(written, kUntouched);
    EXPECT_LT(printer.statusPolls(), LPT_BUSY_POLL_LIMIT);
    EXPECT_TRUE(boxes.calls().empty());
    // Withdrawn, the request no longer stops a write.
    printer.setBusy(false);
    EXPECT_TRUE(WriteParallelPort(data, sizeof data, &written));
    EXPECT_EQ(written, sizeof data);
}

// A printer in error gets nothing and its status is shown; a data write the
// port refuses ends the write with no strobe and no message.
TEST_F(ParallelTest, AFailingPortGetsNothing)
{
    for (bool inError : {false, true}) {
        SCOPED_TRACE(inError ? "printer in error" : "data write refused");
        printer.setError(inError);
        printer.setRefuseData(!inError);
        const BYTE status = printer.peekStatus();
        const size_t writesBefore = backend.writes().size();
        const BYTE data[] = {1, 2, 3};
        DWORD written = kUntouched;
        EXPECT_FALSE(WriteParallelPort(data, sizeof data, &written));
        EXPECT_EQ(written, kUntouched);
        EXPECT_TRUE(printer.delivered().empty());
        EXPECT_TRUE(controlWrites().empty()) << "no strobe";
        auto calls = boxes.calls();
        if (!inError) {
            EXPECT_TRUE(calls.empty());
            continue;
        }
        EXPECT_EQ(backend.writes().size(), writesBefore); // not even the data
        ASSERT_EQ(calls.size(), 1u);
        // The status as ever, then the port and what to do.
        EXPECT_EQ(calls[0].text, "打印机不在线或错误 " + std::to_string(status) +
                                     "\nLPT1（0x378）：打印机报告出错或没有联机，请检查电源、纸和并口线");
        EXPECT_EQ(calls[0].caption, "display hex");
        EXPECT_EQ(calls[0].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_TRUE(calls[0].ownerless);
    }
}

TEST_F(ParallelTest, StrobePulsesKeepTheOtherControlBits)
{
    // The control register's value before the write.
    for (BYTE control : {BYTE{0x0C}, BYTE{0x2E}, BYTE{0xF4}, BYTE{0x00}}) {
        SCOPED_TRACE(control);
        ASSERT_TRUE(printer.writePort(LPT_CONTROL, control));
        const size_t before = controlWrites().size();
        const BYTE data[] = {0x55, 0xAA};
        DWORD written = 0;
        ASSERT_TRUE(WriteParallelPort(data, sizeof data, &written));
        const auto writes = controlWrites();
        const BYTE held = control & ~LPT_CONTROL_STROBE;
        EXPECT_EQ(std::vector<BYTE>(writes.begin() + long(before), writes.end()),
                  (std::vector<BYTE>{BYTE(control | LPT_CONTROL_STROBE), held, BYTE(held | LPT_CONTROL_STROBE), held}));
    }
}

// Every LPT selection drives the port at 0x378; the selection only names it.
TEST_F(ParallelTest, AnyLptSelectionDrivesTheBaseAddress)
{
    const char* names[] = {"LPT1", "LPT2", "LPT3", "LPT4"};
    for (BYTE lpt = 0; lpt < 4; ++lpt) {
        SCOPED_TRACE(names[lpt]);
        gLptInfo = lpt;
        ASSERT_TRUE(OpenPorts(PORT_PARALLEL));
        EXPECT_STREQ(gCurrentPort.name, names[lpt]);
        EXPECT_EQ(gCurrentPort.type, PORT_PARALLEL);
        EXPECT_EQ(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_IDLE);

        // The model takes data only from the register at 0x378.
        printer.clearDelivered();
        const BYTE byte = static_cast<BYTE>(0x30 + lpt);
        DWORD written = 0;
        ASSERT_TRUE(WriteParallelPort(&byte, 1, &written));
        EXPECT_EQ(printer.delivered(), std::vector<uint8_t>{byte});
    }
}

// The busy limit is a count of consecutive polls: 14,680,064 busy polls at
// a byte still let it through, one more gives up with the last status shown.
// The number is written out: the program's own constant could drift with it.
// Each row a fresh printer.
TEST(ParallelBusyTest, BusyLimitIsAPollCount)
{
    constexpr uint64_t kLimit = 14'680'064;
    struct Case {
        const char* what;
        bool atFirstByte;   // busy before the first byte, else after the first strobe
        uint64_t busyPolls; // consecutive busy polls inside the byte loop
        bool succeeds;
    } cases[] = {
        {"exactly the limit at the first byte", true, kLimit, true},
        {"one more at the first byte", true, kLimit + 1, false},
        {"exactly the limit at the second byte", false, kLimit, true},
        {"one more at the second byte", false, kLimit + 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ParallelPort printer;
        SimParallelBackend backend(printer);
        BackendGuard guard(&backend);
        MessageBoxRecorder boxes;
        if (c.atFirstByte)
            printer.setBusyPolls(1 + c.busyPolls); // the first status read (error check) also shows busy
        else
            printer.setStrobeTiming(0, static_cast<uint32_t>(c.busyPolls));
        const BYTE data[] = {0x11, 0x22};
        DWORD written = kUntouched;
        EXPECT_EQ(WriteParallelPort(data, sizeof data, &written), c.succeeds ? TRUE : FALSE);
        auto calls = boxes.calls();
        if (c.succeeds) {
            EXPECT_EQ(written, 2u);
            EXPECT_EQ(printer.delivered(), (std::vector<uint8_t>{0x11, 0x22}));
            EXPECT_TRUE(calls.empty());
            continue;
        }
        EXPECT_EQ(written, kUntouched);
        // The bytes before the stuck one went out.
        EXPECT_EQ(printer.delivered(), c.atFirstByte ? std::vector<uint8_t>{} : std::vector<uint8_t>{0x11});
        ASSERT_EQ(calls.size(), 1u);
        const BYTE busyStatus = LPT_STATUS_NOERROR | LPT_STATUS_ACK_IDLE | sim::ParallelPort::kStatusSelect;
        EXPECT_EQ(calls[0].text, "打印机忙!  " + std::to_string(busyStatus) +
                                     "\nLPT1（0x378）：打印机一直忙，没有接收数据，请检查是否卡纸或脱机");
    }
}

// ---------------------------------------------------------------- the probe

// Without raw access the probe reads 0 and touches nothing; with it, it
// switches the extended control register's mode and shows four boxes.
TEST(ParallelProbeTest, ProbeSwitchesModesAndShowsFourBoxes)
{
    for (bool raw : {false, true}) {
        SCOPED_TRACE(raw);
        sim::ParallelPort printer;
        SimParallelBackend backend(printer, raw);
        BackendGuard guard(&backend);
        MessageBoxRecorder boxes;
        ASSERT_EQ(PortIoHasRawAccess(), raw);
        printer.setEcr(0x75); // ECP mode, low bits 10101
        if (!raw) {
            EXPECT_EQ(GetLptStatus(), 0);
            EXPECT_TRUE(boxes.calls().empty());
            EXPECT_EQ(printer.ecr(), 0x75);
            continue;
        }
        EXPECT_EQ(GetLptStatus(), 0x15);
        EXPECT_EQ(printer.ecr(), 0x15);
        // Each read follows a write: 0x34, then the saved value in standard mode.
        EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"load success0", "read 1:117", "read 2:52", "read 3:21"}));
    }
}

// ---------------------------------------------------------------- DisplayDword2

// The text, cut to leave room for any number, then the number in decimal.
// (The box's caption and icon: AFailingPortGetsNothing.)
TEST(DisplayDword2Test, TextCutThenDecimal)
{
    const std::string overlong(200, 'a');
    struct Case { const char* text; LONG value; std::string shown; };
    const Case cases[] = {
        {"x", -5, "x-5"},
        {"", -2147483647 - 1, "-2147483648"},
        {overlong.c_str(), -1234567890, std::string(52, 'a') + "-1234567890"},
    };
    for (const Case& c : cases) {
        MessageBoxRecorder boxes;
        DisplayDword2(c.text, c.value);
        EXPECT_EQ(boxes.texts(), std::vector<std::string>{c.shown});
    }
}

} // namespace
