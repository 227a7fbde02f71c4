// The serial line's settings in words: serial.conf's keys and mptest-cli's
// comma form read both spellings of flow, write one, and refuse the rest.
#include "port/line_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What the words say of a line, and the handshake lines flow drives.
std::vector<DWORD> LineOf(const DCB& d)
{
    return {d.BaudRate, d.ByteSize,     d.Parity,      d.StopBits, d.fOutxCtsFlow,
            d.fOutxDsrFlow, d.fRtsControl, d.fDtrControl, d.fOutX,    d.fInX};
}

// 9600 8N1, no flow, DTR and RTS on; other fields set to show they are kept.
DCB Start()
{
    DCB d;
    std::memset(&d, 0, sizeof d);
    d.DCBlength = sizeof d;
    d.BaudRate = CBR_9600;
    d.ByteSize = 8;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.XonChar = 0x11;
    d.XonLim = 2048;
    return d;
}

constexpr DWORD kOn = RTS_CONTROL_ENABLE, kShake = RTS_CONTROL_HANDSHAKE;
static_assert(kOn == DTR_CONTROL_ENABLE && kShake == DTR_CONTROL_HANDSHAKE);
// Flow fields: CTS, DSR watched; RTS, DTR control; Xon/Xoff out, in.
const std::vector<DWORD> kNoFlow{0, 0, kOn, kOn, 0, 0}, kHardware{1, 1, kShake, kShake, 0, 0},
    kSoftware{0, 0, kOn, kOn, 1, 1};

std::vector<DWORD> Line(DWORD baud, DWORD data, DWORD parity, DWORD stop, const std::vector<DWORD>& flow)
{
    std::vector<DWORD> line{baud, data, parity, stop};
    line.insert(line.end(), flow.begin(), flow.end());
    return line;
}

TEST(LineSettings, KeyedWordsAreReadInEitherSpellingAndRefusedOtherwise)
{
    const std::vector<DWORD> defaults = LineOf(Start());
    auto with = [](LineKey key, DWORD value) {
        DCB d = Start();
        if (key == LINE_BAUD)
            d.BaudRate = value;
        else
            (key == LINE_DATA ? d.ByteSize : key == LINE_PARITY ? d.Parity : d.StopBits) = static_cast<BYTE>(value);
        return LineOf(d);
    };
    struct Case {
        LineKey key;
        const char* word;
        std::vector<DWORD> line; // empty: refused
    } cases[] = {
        {LINE_BAUD, "19200", with(LINE_BAUD, 19200)},
        {LINE_BAUD, "12345", with(LINE_BAUD, 12345)}, // whether a line has it is the caller's to say
        {LINE_BAUD, "4294967295", with(LINE_BAUD, 0xFFFFFFFF)},
        {LINE_BAUD, "4294967296", {}},
        {LINE_BAUD, "9600 baud", {}},
        {LINE_BAUD, "", {}},
        {LINE_DATA, "4", {}},
        {LINE_DATA, "9", {}},
        {LINE_PARITY, "space", with(LINE_PARITY, SPACEPARITY)},
        {LINE_PARITY, "E", {}}, // the comma form's letters are not the store's words
        {LINE_PARITY, "evn", {}},
        {LINE_STOP, "1.5", with(LINE_STOP, ONE5STOPBITS)},
        {LINE_STOP, "3", {}},
        {LINE_FLOW, "rts-cts", Line(CBR_9600, 8, NOPARITY, ONESTOPBIT, kHardware)},
        {LINE_FLOW, "hardware", Line(CBR_9600, 8, NOPARITY, ONESTOPBIT, kHardware)},
        {LINE_FLOW, "xon-xoff", Line(CBR_9600, 8, NOPARITY, ONESTOPBIT, kSoftware)},
        {LINE_FLOW, "xonxoff", Line(CBR_9600, 8, NOPARITY, ONESTOPBIT, kSoftware)},
        {LINE_FLOW, "none", defaults},
        {LINE_FLOW, "cts, dsr", Line(CBR_9600, 8, NOPARITY, ONESTOPBIT, {1, 1, kOn, kOn, 0, 0})},
        {LINE_FLOW, "rts-cts,xon-xoff", Line(CBR_9600, 8, NOPARITY, ONESTOPBIT, {1, 1, kShake, kShake, 1, 1})},
        {LINE_FLOW, "rts", {}},
        {LINE_FLOW, "none,cts", {}},
        {LINE_FLOW, ",cts", {}},
        {LINE_FLOW, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(kLineKeys[c.key]) + "=" + c.word);
        DCB d = Start();
        d.fOutX = c.key == LINE_FLOW && c.line.empty(); // a refused flow leaves this
        const DCB before = d;
        EXPECT_EQ(ReadKeyedLineSetting(c.key, c.word, d), !c.line.empty());
        if (c.line.empty())
            EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0);
        else
            EXPECT_EQ(LineOf(d), c.line);
        EXPECT_EQ(d.XonLim, 2048); // what no word names is kept
    }
}

// Each line written in both forms, and read back from each to the same line.
TEST(LineSettings, OneSpellingIsWrittenAndReadsBack)
{
    struct Case {
        std::vector<DWORD> line;
        std::array<std::string, 5> keyed;
        const char* comma;
        std::vector<DWORD> commaLine; // what the comma form keeps of it
    } cases[] = {
        {Line(CBR_9600, 8, NOPARITY, ONESTOPBIT, kNoFlow), {"9600", "8", "none", "1", "none"}, "9600,8,N,1,none", {}},
        {Line(CBR_38400, 7, EVENPARITY, TWOSTOPBITS, kHardware), {"38400", "7", "even", "2", "rts-cts"},
         "38400,7,E,2,rts-cts", {}},
        {Line(CBR_115200, 5, MARKPARITY, ONE5STOPBITS, kSoftware), {"115200", "5", "mark", "1.5", "xon-xoff"},
         "115200,5,M,1.5,xon-xoff", {}},
        {Line(CBR_1200, 6, ODDPARITY, ONESTOPBIT, {1, 1, kShake, kShake, 1, 1}),
         {"1200", "6", "odd", "1", "rts-cts,xon-xoff"}, "1200,6,O,1,rts-cts", Line(CBR_1200, 6, ODDPARITY, ONESTOPBIT, kHardware)},
        {Line(CBR_300, 8, SPACEPARITY, ONESTOPBIT, {0, 1, kOn, kOn, 0, 0}), {"300", "8", "space", "1", "dsr"},
         "300,8,S,1,none", Line(CBR_300, 8, SPACEPARITY, ONESTOPBIT, kNoFlow)},
        {Line(CBR_300, 8, NOPARITY, ONESTOPBIT, {1, 1, kOn, kOn, 0, 0}), {"300", "8", "none", "1", "cts,dsr"},
         "300,8,N,1,rts-cts", Line(CBR_300, 8, NOPARITY, ONESTOPBIT, kHardware)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comma);
        DCB d = Start();
        d.BaudRate = c.line[0];
        d.ByteSize = static_cast<BYTE>(c.line[1]), d.Parity = static_cast<BYTE>(c.line[2]);
        d.StopBits = static_cast<BYTE>(c.line[3]);
        d.fOutxCtsFlow = c.line[4], d.fOutxDsrFlow = c.line[5], d.fRtsControl = c.line[6], d.fDtrControl = c.line[7];
        d.fOutX = c.line[8], d.fInX = c.line[9];
        EXPECT_EQ(KeyedLineSettings(d), c.keyed);
        EXPECT_EQ(CommaLineSettings(d), c.comma);
        DCB keyed = Start(), comma = Start();
        for (size_t key = 0; key < kLineKeys.size(); ++key)
            EXPECT_TRUE(ReadKeyedLineSetting(LineKey(key), c.keyed[key], keyed)) << kLineKeys[key];
        EXPECT_EQ(LineOf(keyed), c.line);
        EXPECT_TRUE(ReadCommaLineSettings(c.comma, comma));
        EXPECT_EQ(LineOf(comma), c.commaLine.empty() ? c.line : c.commaLine);
    }
}

TEST(LineSettings, CommaFormReadsEitherSpellingAndRefusesTheRest)
{
    struct Case {
        const char* text;
        const char* written; // nullptr: refused
    } cases[] = {
        {"19200,8,N,1,none", "19200,8,N,1,none"},
        {"19200,8,e,2,xonxoff", "19200,8,E,2,xon-xoff"},
        {"19200,8,o,1,hardware", "19200,8,O,1,rts-cts"},
        {"19200,8,S,1.5,rts-cts", "19200,8,S,1.5,rts-cts"},
        {"12345,8,N,1,none", "12345,8,N,1,none"}, // the caller checks the speed
        {"19200,8,N,1,none,", "19200,8,N,1,none"},
        {"19200,8,N,1", nullptr},
        {"19200,8,N,1,none,x", nullptr},
        {"19200,8,X,1,none", nullptr},
        {"19200,8,NN,1,none", nullptr},
        {"19200,8,none,1,none", nullptr},
        {"19200,9,N,1,none", nullptr},
        {"19200,8,N,3,none", nullptr},
        {"19200,8,N,1,cts", nullptr},
        {"19200,8,N,1,rts", nullptr},
        {"19200,8,N,1, none", nullptr},
        {",8,N,1,none", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DCB d = Start();
        const DCB before = d;
        EXPECT_EQ(ReadCommaLineSettings(c.text, d), c.written != nullptr);
        if (c.written == nullptr)
            EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0);
        else
            EXPECT_EQ(CommaLineSettings(d), c.written);
    }
}

} // namespace
