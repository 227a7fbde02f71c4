// The port record, the user's port selections, the selection tables, and the
// start-up reset that fills them from the stored serial default of COM1.
#include "port/port.h"
#include "port/input.h"
#include "port/network.h"

#include <atomic>
#include <cassert>
#include <cstring>
#include <thread>

const std::array<MapEntry, 11> gLptComNameMap = {{
    {0, "LPT1"}, {1, "LPT2"}, {2, "LPT3"}, {3, "LPT4"},
    {4, "COM1"}, {5, "COM2"}, {6, "COM3"}, {7, "COM4"}, {8, "COM5"}, {9, "COM6"}, {10, "COM7"},
}};

const std::array<MapEntry, 10> gComRMap = {{
    {CBR_110, "110"},
    {CBR_300, "300"},
    {CBR_1200, "1200"},
    {CBR_2400, "2400"},
    {CBR_4800, "4800"},
    {CBR_9600, "9600"},
    {CBR_19200, "19200"},
    {CBR_38400, "38400"},
    {CBR_57600, "57600"},
    {CBR_115200, "115200"},
}};

const std::array<MapEntry, 4> gComDMap = {{{5, "5"}, {6, "6"}, {7, "7"}, {8, "8"}}};

const std::array<MapEntry, 5> gComPMap = {{
    {EVENPARITY, "偶检验"},
    {ODDPARITY, "奇检验"},
    {NOPARITY, "无"},
    {MARKPARITY, "标记"},
    {SPACEPARITY, "空格"},
}};

const std::array<MapEntry, 3> gComSMap = {{{ONESTOPBIT, "1"}, {ONE5STOPBITS, "1.5"}, {TWOSTOPBITS, "2"}}};

const std::array<MapEntry, 3> gComFMap = {{{FLOW_XONXOFF, "Xon/Xoff"}, {FLOW_HARDWARE, "硬件"}, {FLOW_NONE, "无"}}};

PortRecord gCurrentPort;
BYTE gLptInfo;
ComSettings gComInfo;
BYTE gUsbInfo;
COMMCONFIG gDefaultComConfig;
COMMCONFIG gCurrentComConfig;
char g_portInfoStr[256];

namespace {

std::atomic<std::thread::id> gUserInterfaceThread; // none until InitPort

} // namespace

std::atomic<bool> gPortConnecting{false};

void PortCheckRecordOwner()
{
#ifndef NDEBUG
    assert(!(gCurrentPort.state == PORT_STATE_BUSY && !gPortConnecting.load() &&
             std::this_thread::get_id() == gUserInterfaceThread.load()) &&
           "the user-interface thread rewrote the port record under a transfer");
#endif
}

void ClearPortRecord(PortRecord& record)
{
    if (&record == &gCurrentPort)
        PortCheckRecordOwner();
    std::memset(record.name, 0, sizeof record.name);
    record.type = PORT_PARALLEL;
    record.handle = nullptr;
    record.state.store(PORT_STATE_CLOSED);
}

namespace {

// The first row whose value equals `value`; the row count when none does,
// which names no row.
template <size_t N>
BYTE FindRow(const std::array<MapEntry, N>& table, DWORD value)
{
    size_t row = 0;
    while (row < N && table[row].value != value)
        ++row;
    return static_cast<BYTE>(row);
}

// A piece of the status text whose selection names no row shows as "?".
template <size_t N>
const char* TextOrUnknown(const std::array<MapEntry, N>& table, size_t index)
{
    const char* text = MapText(table, index);
    return text ? text : "?";
}

void Append(char* buffer, size_t size, const char* text)
{
    size_t used = std::strlen(buffer);
    size_t room = size - used - 1;
    size_t length = std::strlen(text);
    if (length > room)
        length = room;
    std::memcpy(buffer + used, text, length);
    buffer[used + length] = '\0';
}

} // namespace

void InitPort()
{
    gUserInterfaceThread.store(std::this_thread::get_id());
    gDefaultComConfig.dwProviderSubType = PST_RS232;
    DWORD size = sizeof gDefaultComConfig;
    GetDefaultCommConfigA("COM1", &gDefaultComConfig, &size);
    std::memcpy(&gCurrentComConfig, &gDefaultComConfig, sizeof gCurrentComConfig);

    ClearPortRecord(gCurrentPort);
    gLptInfo = 0;
    gUsbInfo = 0;
    gComInfo.port = 4;
    ComInfoFromDcb(gCurrentComConfig.dcb);
    NetLoadSettings(&gNetInfo);

    ClearPortRecord(gCurrentPort);
}

void ComInfoFromDcb(const DCB& dcb)
{
    gComInfo.baud = FindRow(gComRMap, dcb.BaudRate);
    gComInfo.dataBits = FindRow(gComDMap, dcb.ByteSize);
    gComInfo.parity = FindRow(gComPMap, dcb.Parity);
    gComInfo.stopBits = FindRow(gComSMap, dcb.StopBits);
    // Xon/Xoff is never derived from the stored configuration.
    gComInfo.flow = (dcb.fOutxCtsFlow && dcb.fOutxDsrFlow) ? FLOW_HARDWARE : FLOW_NONE;
}

const char* getComInfo()
{
    char text[sizeof g_portInfoStr] = {};
    Append(text, sizeof text, "串口:  ");
    Append(text, sizeof text, TextOrUnknown(gComRMap, gComInfo.baud));
    Append(text, sizeof text, "bps,");
    Append(text, sizeof text, TextOrUnknown(gComDMap, gComInfo.dataBits));
    Append(text, sizeof text, "位,");
    Append(text, sizeof text, TextOrUnknown(gComFMap, gComInfo.flow));

    std::memset(g_portInfoStr, 0, sizeof g_portInfoStr);
    std::memcpy(g_portInfoStr, text, sizeof g_portInfoStr);
    return g_portInfoStr;
}

void PortRelease()
{
    PortCheckRecordOwner();
    // The console's reader ends before the handle it reads is closed.
    PortReaderStop();
    HANDLE handle = gCurrentPort.handle;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        // After a transfer was given up, what the line still holds queued is
        // not wanted; and closing a serial line that a printer holds back
        // (CTS low) would wait for it up to 30 s. A USB handle refuses this.
        if (PortAbortRequested() && gCurrentPort.type != PORT_NETWORK)
            PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
        if (gCurrentPort.type == PORT_NETWORK)
            NetClose(handle);
        else
            CloseHandle(handle);
    }
    gCurrentPort.handle = nullptr;
}
