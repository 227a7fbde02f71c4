// The test prints' byte streams.
#include "printer/testprint.h"

#include "res/sample_receipt.h"

#include <array>
#include <climits>
#include <cmath>
#include <initializer_list>

namespace {

std::string Bytes(std::initializer_list<BYTE> bytes)
{
    std::string out;
    for (BYTE b : bytes)
        out.push_back(static_cast<char>(b));
    return out;
}

// A sample of one GBK zone: lead bytes and trail bytes, each range with its step.
struct GbkZone {
    const char* name;
    BYTE leadFirst, leadLast, leadStep;
    BYTE trailFirst, trailLast, trailStep;
};

constexpr std::array<GbkZone, kGbkZoneCount> kZones{{
    {"1区", 0xA1, 0xA9, 1, 0xA1, 0xFD, 2},
    {"2区", 0xB0, 0xF4, 4, 0xA1, 0xFD, 2},
    {"3区", 0x81, 0x9F, 2, 0x40, 0xFC, 4},
    {"4区", 0xAA, 0xFE, 3, 0x40, 0x9C, 4},
    {"5区", 0xA8, 0xA9, 1, 0x40, 0x9F, 1},
}};

struct Distance {
    int maxChars; // characters the page's edit box gives
    BYTE command;
    int offsetMm;
    const char* confirmation;
};

// Operations 3, 4 and 5: distances A, B and C.
constexpr std::array<Distance, 3> kDistances{{
    {9, 0x13, 27, "黑标到打印头偏移长度设置成功\n"},
    {127, 0x14, 43, "切纸位相对黑标偏移长度设置成功\n"},
    {127, 0x12, 0, "两黑标之间的长度设置成功\n"},
}};

// ESC @, then the stored test line: 1D CB, "M test", LF.
constexpr std::array<BYTE, 11> kTestLine{0x1B, 0x40, 0x1D, 0xCB, 0x4D, 0x20, 0x74, 0x65, 0x73, 0x74, 0x0A};
constexpr std::array<BYTE, 4> kCutAfter{0x1D, 0x56, 0x66, 0x01};

struct Drive {
    std::array<BYTE, 5> bytes;
    size_t length;
};

// Carriage, paper feed, pins; the parameters are fixed.
constexpr std::array<Drive, 3> kDrives{{
    {{0x1C, 0xAA, 0x16, 0x04}, 4},
    {{0x1C, 0xAA, 0x17, 0x02, 0x55}, 5},
    {{0x1C, 0xAA, 0x18, 0x01, 0x00}, 5},
}};

// One band of the all-black print: ESC * 8-dot single density, 210 columns
// all black, CR, ESC J 16.
std::string BlackBand()
{
    return Bytes({0x1B, 0x2A, 0x00, 0xD2, 0x00}) + std::string(210, '\xFF') + Bytes({0x0D, 0x1B, 0x4A, 0x10});
}

} // namespace

const char kUsbStoredString[] = "zxtkpj";

const char* GbkZoneName(int zone)
{
    return zone >= 0 && zone < kGbkZoneCount ? kZones[static_cast<size_t>(zone)].name : nullptr;
}

std::string LatinTestBytes(BYTE modes, LatinPattern pattern)
{
    std::string bytes = "\x1B\x40\x1C\x2E\x1B\x21";
    bytes.push_back(static_cast<char>(modes));
    if (pattern == LatinPattern::Letters) {
        for (char c = 'A'; c <= 'Z'; ++c)
            bytes.push_back(c);
    } else if (pattern != LatinPattern::None) {
        bytes.append(42, pattern == LatinPattern::H ? 'H' : 'I');
    }
    bytes.push_back('\n');
    return bytes;
}

std::string GbkTestBytes(BYTE modes, int zoneIndex)
{
    std::string bytes = "\x1B\x40\x1C\x21";
    bytes.push_back(static_cast<char>(modes));
    if (zoneIndex >= 0 && zoneIndex < static_cast<int>(kZones.size())) {
        const GbkZone& zone = kZones[static_cast<size_t>(zoneIndex)];
        for (int lead = zone.leadFirst; lead <= zone.leadLast; lead += zone.leadStep) {
            for (int trail = zone.trailFirst; trail <= zone.trailLast; trail += zone.trailStep) {
                bytes.push_back(static_cast<char>(lead));
                bytes.push_back(static_cast<char>(trail));
            }
        }
    }
    bytes.push_back('\n');
    return bytes;
}

int ReadDecimal(const char* text)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // saturated: no more digits matter
    }
    // INT_MAX + 1 stands for "too large": INT_MIN when negative, else INT_MAX.
    if (negative)
        return static_cast<int>(-value);
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

WORD DistanceUnits(int mm, int offsetMm)
{
    const double units = std::trunc((static_cast<double>(mm) + offsetMm) / 0.176);
    return static_cast<WORD>(static_cast<unsigned long long>(static_cast<long long>(units)) & 0xFFFF);
}

int BlackMarkDistanceChars(int operation)
{
    return operation >= 3 && operation <= 5 ? kDistances[static_cast<size_t>(operation - 3)].maxChars : 0;
}

std::string BlackMarkBytes(int operation, bool cut, const char* distance)
{
    std::string buffer;
    switch (operation) {
    case 0:
        buffer.assign(kTestLine.begin(), kTestLine.end());
        if (cut)
            buffer.append(kCutAfter.begin(), kCutAfter.end());
        break;
    case 1:
        buffer = Bytes({0x1C, 0xAA, 0x11, 0x01}) + "  BM enable\n";
        break;
    case 2:
        buffer = Bytes({0x1C, 0xAA, 0x11, 0x00}) + "  BM disable\n";
        break;
    case 3:
    case 4:
    case 5: {
        const Distance& d = kDistances[static_cast<size_t>(operation - 3)];
        const std::string text = std::string(distance != nullptr ? distance : "").substr(0, d.maxChars);
        const WORD units = DistanceUnits(ReadDecimal(text.c_str()), d.offsetMm);
        buffer = Bytes({0x1C, 0xAA, d.command, LOBYTE(units), static_cast<BYTE>(units >> 8)}) +
                 PlatUtf8ToGbk(d.confirmation);
        break;
    }
    default:
        break;
    }
    return buffer;
}

std::string DianliuBytes(int which)
{
    if (which < 0 || which >= static_cast<int>(kDrives.size()))
        return {};
    const Drive& drive = kDrives[static_cast<size_t>(which)];
    return std::string(reinterpret_cast<const char*>(drive.bytes.data()), drive.length);
}

std::string BlackImgBytes()
{
    std::string bytes;
    for (int band = 0; band < 5; ++band)
        bytes += BlackBand();
    return bytes;
}

std::string DotsBytes()
{
    return std::string(testSample1, kTestSample1Length);
}

std::string CasherBytes(int drawer)
{
    return Bytes({0x1B, 0x40}) + PlatUtf8ToGbk("测试钱箱\n") +
           Bytes({0x1B, 0x4A, 0x20, 0x1B, 0x70, static_cast<BYTE>(drawer), 0x33, 0x00, 0x00});
}

std::string CutterBytes(int full)
{
    return Bytes({0x1B, 0x40}) + PlatUtf8ToGbk("测试切刀\n") +
           Bytes({0x1B, 0x4A, 0x50, 0x1B, static_cast<BYTE>(full ? 0x69 : 0x6D)});
}

std::string CutterSwBytes(int on)
{
    // The text prints before the printer receives the switch.
    return Bytes({0x1B, 0x40}) + PlatUtf8ToGbk(on ? "切刀打开\n" : "切刀关闭\n") +
           Bytes({0x1C, 0xAA, 0x23, static_cast<BYTE>(on ? 1 : 0)});
}

std::string SetComBytes(BYTE index)
{
    return "set successful\n" + Bytes({0x1C, 0xAA, 0x22, index, 0x00});
}

std::string UsbStringWriteBytes()
{
    return Bytes({0x1B, 0x1D, 0x00, 0x01}) + kUsbStoredString;
}

std::string UsbStringReadBytes()
{
    return Bytes({0x1B, 0x1D, 0x00, 0x02});
}
