// InitPort's derivation of the selections from the
// stored COM1 default, getComInfo's status text, SetComConfig's mapping back
// into a DCB, and OpenPorts of no known type.
#include "port/port.h"
#include "support/roots.h"
#include "support/temp_dir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using testsupport::RootGuard;
using testsupport::TempDir;

namespace {

// A COM1 default as the store keeps it.
struct StoredDefault {
    DWORD baud = CBR_9600;
    BYTE byteSize = 8;
    BYTE parity = NOPARITY;
    BYTE stopBits = ONESTOPBIT;
    bool cts = false;
    bool dsr = false;
    bool xonxoff = false;
};

class InitPortTest : public ::testing::Test {
protected:
    // The layer's defaults with the fields a selection comes from changed.
    void Store(const StoredDefault& s)
    {
        COMMCONFIG config = {};
        DWORD size = sizeof config;
        ASSERT_TRUE(GetDefaultCommConfigA("COM9", &config, &size));
        DCB& dcb = config.dcb;
        dcb.BaudRate = s.baud;
        dcb.ByteSize = s.byteSize;
        dcb.Parity = s.parity;
        dcb.StopBits = s.stopBits;
        dcb.fOutxCtsFlow = s.cts;
        dcb.fOutxDsrFlow = s.dsr;
        dcb.fInX = dcb.fOutX = s.xonxoff;
        ASSERT_TRUE(SetDefaultCommConfigA("COM1", &config, sizeof config));
    }

    TempDir tmp;
    RootGuard config{PlatRoot::Config, tmp.path()};
};

std::array<int, 6> Selections()
{
    return {gComInfo.port, gComInfo.baud, gComInfo.dataBits, gComInfo.parity, gComInfo.stopBits, gComInfo.flow};
}

TEST_F(InitPortTest, DerivesEverySelectionFromTheStoredDefault)
{
    struct Case {
        const char* what;
        StoredDefault stored;
        std::array<int, 6> expected; // port, baud, data bits, parity, stop bits, flow
    };
    const Case cases[] = {
        {"9600 8 none 1, no flow", {}, {4, 5, 3, 2, 0, 2}},
        {"CTS and DSR both on: hardware", {.cts = true, .dsr = true}, {4, 5, 3, 2, 0, 1}},
        {"CTS alone: none", {.cts = true}, {4, 5, 3, 2, 0, 2}},
        {"DSR alone: none", {.dsr = true}, {4, 5, 3, 2, 0, 2}},
        {"Xon/Xoff bits alone: none, never row 0", {.xonxoff = true}, {4, 5, 3, 2, 0, 2}},
        {"115200 7 odd 2", {.baud = CBR_115200, .byteSize = 7, .parity = ODDPARITY, .stopBits = TWOSTOPBITS},
         {4, 9, 2, 1, 2, 2}},
        {"110 5 even 1.5", {.baud = CBR_110, .byteSize = 5, .parity = EVENPARITY, .stopBits = ONE5STOPBITS},
         {4, 0, 0, 0, 1, 2}},
        {"38400 6 mark", {.baud = CBR_38400, .byteSize = 6, .parity = MARKPARITY}, {4, 7, 1, 3, 0, 2}},
        {"space parity", {.parity = SPACEPARITY}, {4, 5, 3, 4, 0, 2}},
        // A speed or size no serial line here has is a malformed entry: the
        // store reads it as the defaults, never as a "?bps" selection.
        {"baud between two rows", {.baud = 14400}, {4, 5, 3, 2, 0, 2}},
        {"data bits outside the table", {.byteSize = 9}, {4, 5, 3, 2, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store(c.stored);
        InitPort();
        EXPECT_EQ(Selections(), c.expected);
        EXPECT_EQ(gCurrentComConfig.dcb.BaudRate, c.expected[1] == 5 ? DWORD{CBR_9600} : c.stored.baud);
        EXPECT_EQ(std::memcmp(&gCurrentComConfig, &gDefaultComConfig, sizeof(COMMCONFIG)), 0);
    }
}

// With no store at all the layer's defaults are used, nothing fails, and the
// other selections and the port record start afresh.
TEST_F(InitPortTest, MissingStoreGivesSelectionsAndClearsTheRecord)
{
    gLptInfo = 3;
    gUsbInfo = 1;
    gComInfo.port = 9;
    std::strcpy(gCurrentPort.name, "COM6");
    gCurrentPort.type = PORT_USB;
    gCurrentPort.state.store(PORT_STATE_IDLE);
    InitPort();
    EXPECT_EQ(Selections(), (std::array<int, 6>{4, 5, 3, 2, 0, 2}));
    EXPECT_EQ(gDefaultComConfig.dwProviderSubType, PST_RS232);
    EXPECT_EQ(gLptInfo, 0);
    EXPECT_EQ(gUsbInfo, 0);
    EXPECT_STREQ(gCurrentPort.name, "");
    EXPECT_EQ(gCurrentPort.type, PORT_PARALLEL);
    EXPECT_EQ(gCurrentPort.handle, nullptr);
    EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_CLOSED);
}

TEST(GetComInfoTest, TextFromTheSelections)
{
    struct Case { ComSettings info; const char* text; };
    const Case cases[] = {
        {{4, 9, 3, 2, 0, 0}, "串口:  115200bps,8位,Xon/Xoff"},
        {{4, 0, 0, 2, 0, 1}, "串口:  110bps,5位,硬件"},
        {{4, 7, 2, 2, 0, 2}, "串口:  38400bps,7位,无"},
        // A selection that names no row shows as "?", and nothing past a table is read.
        {{4, 10, 3, 2, 0, 2}, "串口:  ?bps,8位,无"},
        {{4, 255, 4, 2, 0, 3}, "串口:  ?bps,?位,?"},
        // Port, parity and stop bits are not part of the text.
        {{10, 5, 3, 0, 2, 2}, "串口:  9600bps,8位,无"},
    };
    const ComSettings saved = gComInfo;
    // Each text is built afresh: nothing of a longer one before it stays.
    std::memset(g_portInfoStr, 'x', sizeof g_portInfoStr - 1);
    g_portInfoStr[sizeof g_portInfoStr - 1] = '\0';
    for (const Case& c : cases) {
        gComInfo = c.info;
        const char* text = getComInfo();
        EXPECT_EQ(text, g_portInfoStr);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(g_portInfoStr[sizeof g_portInfoStr - 2], '\0');
    }
    gComInfo = saved;
}

// ---------------------------------------------------------------- SetComConfig

class SetComConfigTest : public InitPortTest {};

TEST_F(SetComConfigTest, WritesTheSelectionsIntoTheDcbAndTheStore)
{
    struct Case {
        ComSettings info;
        DWORD baud;
        BYTE byteSize, parity, stopBits;
        bool ctsDsr, xonxoff;
        DWORD dtr, rts;
    };
    const Case cases[] = {
        {{4, 5, 3, 2, 0, 2}, 9600, 8, NOPARITY, ONESTOPBIT, false, false, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
        {{6, 9, 2, 0, 2, 1}, 115200, 7, EVENPARITY, TWOSTOPBITS, true, false, DTR_CONTROL_HANDSHAKE,
         RTS_CONTROL_HANDSHAKE},
        {{10, 0, 0, 1, 1, 0}, 110, 5, ODDPARITY, ONE5STOPBITS, false, true, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
        {{5, 7, 1, 4, 0, 2}, 38400, 6, SPACEPARITY, ONESTOPBIT, false, false, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
        // Selections that name no row keep the fields as they were.
        {{4, 10, 4, 5, 3, 2}, 57600, 8, MARKPARITY, TWOSTOPBITS, false, false, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
    };
    const ComSettings saved = gComInfo;
    for (const Case& c : cases) {
        const char* name = gLptComNameMap[c.info.port].text;
        SCOPED_TRACE(name);
        COMMCONFIG config = {};
        config.dwSize = sizeof config;
        config.dcb.DCBlength = sizeof(DCB);
        config.dcb.BaudRate = CBR_57600;
        config.dcb.ByteSize = 8;
        config.dcb.Parity = MARKPARITY;
        config.dcb.StopBits = TWOSTOPBITS;
        config.dcb.XonChar = 0x11; // a field SetComConfig leaves alone
        gComInfo = c.info;
        EXPECT_TRUE(SetComConfig(&config, sizeof config));
        // Speed, size, parity, stop bits, CTS, DSR, Xon/Xoff in and out, DTR, RTS.
        const auto settings = [](const DCB& d) {
            return std::vector<DWORD>{d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fOutxCtsFlow,
                                      d.fOutxDsrFlow, d.fInX, d.fOutX, d.fDtrControl, d.fRtsControl};
        };
        EXPECT_EQ(settings(config.dcb), (std::vector<DWORD>{c.baud, c.byteSize, c.parity, c.stopBits, c.ctsDsr,
                                                            c.ctsDsr, c.xonxoff, c.xonxoff, c.dtr, c.rts}));
        EXPECT_EQ(config.dcb.XonChar, 0x11);

        COMMCONFIG stored = {};
        DWORD size = sizeof stored;
        ASSERT_TRUE(GetDefaultCommConfigA(name, &stored, &size));
        EXPECT_EQ(settings(stored.dcb), settings(config.dcb)); // the store holds what the line gets
    }
    // A port row that is no COM port stores nothing.
    gComInfo = {11, 5, 3, 2, 0, 2};
    COMMCONFIG config = {};
    EXPECT_FALSE(SetComConfig(&config, sizeof config));
    gComInfo = saved;
}

// Under a transfer the record is the sending thread's: debug builds stop
// the user-interface thread (the one that ran InitPort) from rewriting it.
TEST_F(InitPortTest, OnlyTheTransferRewritesABusyRecord)
{
#ifdef NDEBUG
    GTEST_SKIP() << "a check of debug builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    InitPort();
    gCurrentPort.state.store(PORT_STATE_BUSY);
    const char* why = "user-interface thread rewrote the port record";
    EXPECT_DEATH(OpenPorts(PORT_PARALLEL), why);
    EXPECT_DEATH(PortRelease(), why);
    EXPECT_DEATH(ClearPortRecord(gCurrentPort), why);
    std::thread transfer([] {
        OpenPorts(PORT_PARALLEL);
        PortRelease();
        ClearPortRecord(gCurrentPort);
    });
    transfer.join();
    EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_CLOSED);
#endif
}

TEST(OpenPortsTest, UnknownTypeFailsAndLeavesNothingOpen)
{
    EXPECT_FALSE(OpenPorts(3));
    EXPECT_EQ(gCurrentPort.handle, nullptr);
    EXPECT_EQ(gCurrentPort.state.load(), PORT_STATE_CLOSED);
}

} // namespace
