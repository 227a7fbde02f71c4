// Opening the current port, the parallel writer with its software handshake,
// the extended-control-register probe, and the serial settings switches.
#include "port/port.h"
#include "port/network.h"
#include "port/portio.h"
#include "port/usb.h"

#include <cstring>

namespace {

// The sending thread released the handle of a port that went away; the
// UI thread opens it again before the next send. Each written only by the
// record's owner of the moment.
std::atomic<bool> gPortLost{false};
// The last open was a connect that a stop or close ended.
std::atomic<bool> gOpenStopped{false};

constexpr DWORD SERIAL_WRITE_TIMEOUT_MS = 3000;
constexpr DWORD SERIAL_READ_TIMEOUT_MS = 5000;
constexpr DWORD SERIAL_READ_INTERVAL_MS = 200;

void SetRecordName(const char* name)
{
    std::memset(gCurrentPort.name, 0, sizeof gCurrentPort.name);
    if (name)
        std::strncpy(gCurrentPort.name, name, sizeof gCurrentPort.name - 1);
}

BOOL OpenSerial()
{
    HANDLE handle = CreateFileA(gCurrentPort.name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | PortOpenFlags(), nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return FALSE;

    // Only a working serial line answers with its DCB.
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        CloseHandle(handle);
        return FALSE;
    }
    COMMTIMEOUTS timeouts = {};
    GetCommTimeouts(handle, &timeouts);
    timeouts.WriteTotalTimeoutConstant = SERIAL_WRITE_TIMEOUT_MS;
    timeouts.ReadTotalTimeoutConstant = SERIAL_READ_TIMEOUT_MS;
    timeouts.ReadIntervalTimeout = SERIAL_READ_INTERVAL_MS;
    SetCommState(handle, &gCurrentComConfig.dcb);
    SetCommTimeouts(handle, &timeouts);
    gCurrentPort.handle = handle;
    return TRUE;
}

// The second line of the parallel writer's messages: the port and what to do.
std::string ParallelFaultLine(const char* what)
{
    const std::string name = gCurrentPort.name[0] != '\0' ? gCurrentPort.name : "LPT1";
    return name + "（0x378）" + what;
}

} // namespace

BOOL OpenPorts(BYTE type)
{
    // Reopened by the sending thread inside a transfer (the download speed
    // switch), the record stays busy throughout: were it to show "closed" or
    // "idle" for a moment, the user-interface thread could take that moment
    // to open another port under the sending thread.
    PortCheckRecordOwner();
    const bool inTransfer = gCurrentPort.state == PORT_STATE_BUSY;
    if (!inTransfer)
        gPortLost.store(false);
    gOpenStopped.store(false);
    PortRelease();
    if (inTransfer) {
        std::memset(gCurrentPort.name, 0, sizeof gCurrentPort.name);
        gCurrentPort.handle = nullptr;
    } else {
        ClearPortRecord(gCurrentPort);
    }
    gCurrentPort.type = type;
    const BYTE failedState = inTransfer ? PORT_STATE_BUSY : PORT_STATE_CLOSED;

    switch (type) {
    case PORT_PARALLEL:
        SetRecordName(MapText(gLptComNameMap, gLptInfo));
        break;
    case PORT_SERIAL:
        SetRecordName(MapText(gLptComNameMap, gComInfo.port));
        if (!OpenSerial()) {
            gCurrentPort.state.store(failedState);
            return FALSE;
        }
        break;
    case PORT_USB: {
        SetRecordName("USB001");
        HANDLE handle = OpenUsbPort();
        if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
            gCurrentPort.state.store(failedState);
            return FALSE;
        }
        gCurrentPort.handle = handle;
        break;
    }
    case PORT_NETWORK: {
        // Connected per port open: printers take one client at a time, so
        // the connection is held only while a dialog has the port chosen.
        SetRecordName("TCP");
        if (!inTransfer) {
            PortClearAbort(); // a stop that ended an earlier send is spent
            // The connect runs the window's messages while it waits: busy,
            // the dialogs refuse another open or send meanwhile, and their
            // close stops it (AbandonSend).
            gCurrentPort.state.store(PORT_STATE_BUSY);
            gPortConnecting.store(true);
        }
        HANDLE handle = NetConnect();
        gPortConnecting.store(false);
        if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
            gOpenStopped.store(PortAbortRequested() != FALSE);
            gCurrentPort.state.store(failedState);
            return FALSE;
        }
        gCurrentPort.handle = handle;
        break;
    }
    default:
        gCurrentPort.state.store(failedState);
        return FALSE;
    }
    gCurrentPort.state.store(inTransfer ? PORT_STATE_BUSY : PORT_STATE_IDLE);
    return TRUE;
}

void PortDropDeadHandle()
{
    if (gCurrentPort.type == PORT_PARALLEL || gCurrentPort.handle == nullptr)
        return;
    if (gCurrentPort.type == PORT_NETWORK)
        NetNoteLost(GetLastError());
    PortRelease();
    gPortLost.store(true);
}

BOOL PortReadyToSend()
{
    // While a send runs the record is the sending thread's, which may be
    // letting go of its handle: the send's own refusal answers then.
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return TRUE;
    // A printer that closed an idle connection takes a new one.
    if (gCurrentPort.type == PORT_NETWORK && gCurrentPort.handle != nullptr && NetPeerGone(gCurrentPort.handle)) {
        PortRelease();
        gPortLost.store(true);
    }
    if (gCurrentPort.type == PORT_PARALLEL || gCurrentPort.handle != nullptr)
        return TRUE;
    if (!gPortLost.load())
        return FALSE;
    if (OpenPorts(gCurrentPort.type))
        return TRUE;
    gPortLost.store(true); // still away: the next send tries again
    return FALSE;
}

BOOL PortOpenStopped()
{
    return gOpenStopped.load() && gCurrentPort.type == PORT_NETWORK && gCurrentPort.handle == nullptr ? TRUE : FALSE;
}

BOOL PortIsLost()
{
    if (gCurrentPort.type == PORT_NETWORK && gCurrentPort.state != PORT_STATE_BUSY) {
        HANDLE handle = gCurrentPort.handle;
        if (handle != nullptr && NetPeerGone(handle))
            return TRUE;
    }
    return gPortLost.load() ? TRUE : FALSE;
}

BOOL WriteParallelPort(const BYTE* data, DWORD length, DWORD* written)
{
    DWORD status = 0;
    GetPortVal(LPT_STATUS, &status, 1);
    if (!(status & LPT_STATUS_NOERROR)) {
        DisplayDword2("打印机不在线或错误 ", static_cast<LONG>(status & 0xFF),
                      ParallelFaultLine("：打印机报告出错或没有联机，请检查电源、纸和并口线").c_str());
        return FALSE;
    }

    DWORD waits = 0;
    DWORD index = 0;
    DWORD heldSince = 0;
    bool heldUnderStop = false;
    while (index < length) {
        // A transfer given up ends here, without a message, however long
        // the printer has held busy.
        if (PortAbortRequested())
            return FALSE;
        GetPortVal(LPT_STATUS, &status, 1);
        if (!(status & LPT_STATUS_NOT_BUSY) || !(status & LPT_STATUS_ACK_IDLE)) {
            // The time-out is a count of polls, not a clock.
            if (++waits > LPT_BUSY_POLL_LIMIT) {
                DisplayDword2("打印机忙!  ", static_cast<LONG>(status & 0xFF),
                              ParallelFaultLine("：打印机一直忙，没有接收数据，请检查是否卡纸或脱机").c_str());
                return FALSE;
            }
            // A stopped repeating send leaves a pass the printer is taking
            // whole, and gives up one it holds up.
            if (PortStopRequested()) {
                if (!heldUnderStop) {
                    heldUnderStop = true;
                    heldSince = GetTickCount();
                } else if (GetTickCount() - heldSince >= LPT_HELD_UP_MS) {
                    return FALSE;
                }
            }
            continue;
        }
        waits = 0;
        heldUnderStop = false;
        if (!SetPortVal(LPT_DATA, data[index], 1))
            return FALSE;

        DWORD control = 0;
        GetPortVal(LPT_CONTROL, &control, 1);
        SetPortVal(LPT_CONTROL, (control | LPT_CONTROL_STROBE) & 0xFF, 1);
        SetPortVal(LPT_CONTROL, control & ~DWORD{LPT_CONTROL_STROBE} & 0xFF, 1);

        // A short pause after the strobe; volatile keeps the optimiser from
        // dropping the loop.
        volatile DWORD idle = 0;
        while (idle < LPT_IDLE_STEPS)
            idle = idle + 1;
        ++index;
    }
    *written = length;
    return TRUE;
}

BYTE GetLptStatus()
{
    if (!LptProbeLoad())
        return 0;
    DisplayDword2("load success", 0);
    if (!LptProbeResolve()) {
        LptProbeUnload();
        return 0;
    }
    BYTE saved = LptProbeIn(LPT_ECR);
    DisplayDword2("read 1:", saved);
    LptProbeOut(LPT_ECR, 0x34); // byte mode, error and service interrupts set
    DisplayDword2("read 2:", LptProbeIn(LPT_ECR));
    LptProbeOut(LPT_ECR, saved & 0x1F); // standard mode, low five bits kept
    BYTE final = LptProbeIn(LPT_ECR);
    DisplayDword2("read 3:", final);
    LptProbeUnload();
    return final;
}

BOOL SetComConfig(COMMCONFIG* config, DWORD size)
{
    ComInfoToDcb(config->dcb);
    const char* name = MapText(gLptComNameMap, gComInfo.port);
    if (!name)
        return FALSE;
    return SetDefaultCommConfigA(name, config, size);
}

void ComInfoToDcb(DCB& dcb)
{
    // A selection that names no row leaves its DCB field as the system gave it.
    if (gComInfo.baud < gComRMap.size())
        dcb.BaudRate = gComRMap[gComInfo.baud].value;
    if (gComInfo.dataBits < gComDMap.size())
        dcb.ByteSize = LOBYTE(gComDMap[gComInfo.dataBits].value);
    if (gComInfo.parity < gComPMap.size())
        dcb.Parity = LOBYTE(gComPMap[gComInfo.parity].value);
    if (gComInfo.stopBits < gComSMap.size())
        dcb.StopBits = LOBYTE(gComSMap[gComInfo.stopBits].value);

    bool hardware = gComInfo.flow == FLOW_HARDWARE;
    bool software = gComInfo.flow == FLOW_XONXOFF;
    dcb.fOutxCtsFlow = hardware;
    dcb.fOutxDsrFlow = hardware;
    dcb.fDtrControl = hardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fRtsControl = hardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fInX = software;
    dcb.fOutX = software;
}

void SetComBaudRate2(BYTE baud, BYTE flow)
{
    PortRelease();
    BYTE userBaud = gComInfo.baud;
    BYTE userFlow = gComInfo.flow;
    gComInfo.baud = baud;
    gComInfo.flow = flow;
    SetComConfig(&gCurrentComConfig, sizeof gCurrentComConfig);
    OpenPorts(PORT_SERIAL); // the caller looks at the handle instead
    gComInfo.baud = userBaud;
    gComInfo.flow = userFlow;
    // OpenPorts kept the record busy already; the procedure says so again.
    gCurrentPort.state.store(PORT_STATE_BUSY);
}

BOOL ResetBaudRate()
{
    PortRelease();
    SetComConfig(&gCurrentComConfig, sizeof gCurrentComConfig);
    BOOL result = OpenPorts(PORT_SERIAL);
    // OpenPorts kept the record busy already; the procedure says so again.
    gCurrentPort.state.store(PORT_STATE_BUSY);
    return result;
}

void DisplayDword2(const char* text, LONG value, const char* detail)
{
    char buffer[64] = {};
    // Leave room for the longest number "%d" gives (11 characters) and the NUL.
    constexpr size_t maxText = sizeof buffer - 12;
    size_t length = std::strlen(text);
    if (length > maxText)
        length = maxText;
    std::memcpy(buffer, text, length);
    wsprintfA(buffer + length, "%d", static_cast<int>(value));
    if (detail == nullptr) {
        MessageBoxA(nullptr, buffer, "display hex", MB_ICONERROR);
        return;
    }
    const std::string lines = std::string(buffer) + "\n" + detail;
    MessageBoxA(nullptr, lines.c_str(), "display hex", MB_ICONERROR);
}
