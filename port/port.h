// The one current printer port, the user's port selections, the constant
// selection tables, and the operations that open, write and release ports.
#pragma once

#include "platform/win32.h"

#include <array>
#include <atomic>

enum PortType : BYTE { PORT_PARALLEL = 0, PORT_SERIAL = 1, PORT_USB = 2 };

enum PortState : BYTE { PORT_STATE_CLOSED = 0, PORT_STATE_IDLE = 1, PORT_STATE_BUSY = 2 };

struct PortRecord {
    char name[10];
    BYTE type;
    HANDLE handle;
    // Read by the user-interface thread while the sending thread writes it;
    // the busy value 2 is what keeps the two apart.
    std::atomic<BYTE> state;
};

// One row of a selection table: a value and its text (UTF-8).
struct MapEntry {
    DWORD value;
    char text[16];
};

struct ComSettings {
    BYTE port; // row of gLptComNameMap, 4..10
    BYTE baud;
    BYTE dataBits;
    BYTE parity;
    BYTE stopBits;
    BYTE flow;
};

enum FlowRow : BYTE { FLOW_XONXOFF = 0, FLOW_HARDWARE = 1, FLOW_NONE = 2 };

// The parallel writer gives up after this many consecutive busy polls.
constexpr DWORD LPT_BUSY_POLL_LIMIT = 0xE00000;
// Steps of the idle loop after each strobe.
constexpr DWORD LPT_IDLE_STEPS = 100;

extern const std::array<MapEntry, 11> gLptComNameMap;
extern const std::array<MapEntry, 10> gComRMap;
extern const std::array<MapEntry, 4> gComDMap;
extern const std::array<MapEntry, 5> gComPMap;
extern const std::array<MapEntry, 3> gComSMap;
extern const std::array<MapEntry, 3> gComFMap;

extern PortRecord gCurrentPort;
extern BYTE gLptInfo;
extern ComSettings gComInfo;
extern BYTE gUsbInfo;
extern COMMCONFIG gDefaultComConfig;
extern COMMCONFIG gCurrentComConfig;
extern char g_portInfoStr[256];

// Zeroes the whole record: parallel, no name, no handle, state 0.
void ClearPortRecord(PortRecord& record);

// The text of row `index` of `table`, or nullptr when the index names no row.
template <size_t N>
const char* MapText(const std::array<MapEntry, N>& table, size_t index)
{
    return index < N ? table[index].text : nullptr;
}

void InitPort();
const char* getComInfo();
void PortRelease();

BOOL OpenPorts(BYTE type);
BOOL WriteParallelPort(const BYTE* data, DWORD length, DWORD* written);
BYTE GetLptStatus();
BOOL SetComConfig(COMMCONFIG* config, DWORD size);
void SetComBaudRate2(BYTE baud, BYTE flow);
BOOL ResetBaudRate();
void DisplayDword2(const char* text, LONG value);
