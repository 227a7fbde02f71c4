// Choosing and opening the port of a job.
#include "cli/port_choice.h"

#include "cli/options.h"
#include "platform/comdevices.h"
#include "port/network.h"
#include "port/port.h"
#include "port/line_settings.h"
#include "port/portio.h"
#include "port/usb.h"
#include "res/texts.h"

#include <array>
#include <cstdlib>
#include <optional>

namespace {

template <size_t N>
std::optional<BYTE> RowOfValue(const std::array<MapEntry, N>& table, DWORD value)
{
    for (size_t row = 0; row < N; ++row)
        if (table[row].value == value)
            return static_cast<BYTE>(row);
    return std::nullopt;
}

// "BAUD,DATA,PARITY,STOP,FLOW" into gComInfo's line selections: the words
// the store reads, a speed from the port settings dialog's list.
void TakeSerialSettings(const std::string& settings)
{
    DCB dcb{};
    std::optional<BYTE> baud, data, parity, stop;
    if (ReadCommaLineSettings(settings, dcb)) {
        baud = RowOfValue(gComRMap, dcb.BaudRate);
        data = RowOfValue(gComDMap, dcb.ByteSize);
        parity = RowOfValue(gComPMap, dcb.Parity);
        stop = RowOfValue(gComSMap, dcb.StopBits);
    }
    if (!baud || !data || !parity || !stop)
        throw UsageError{"--serial 的值 \"" + settings + "\" 不是 BAUD,DATA,PARITY,STOP,FLOW（例如 19200,8,N,1,none）"};
    gComInfo.baud = *baud;
    gComInfo.dataBits = *data;
    gComInfo.parity = *parity;
    gComInfo.stopBits = *stop;
    gComInfo.flow = dcb.fOutxCtsFlow ? FLOW_HARDWARE : dcb.fOutX ? FLOW_XONXOFF : FLOW_NONE;
}

} // namespace

namespace {

// The row of a COM name in the port table (com1 as COM1), 0 for none.
BYTE ComRow(const std::string& name)
{
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (BYTE row = 4; row < gLptComNameMap.size(); ++row)
        if (upper == gLptComNameMap[row].text)
            return row;
    return 0;
}

} // namespace

PortChoice ChoosePort(const CommandLine& line)
{
    if (!line.has("--port"))
        throw UsageError{"缺少 --port PORT"};
    // A malformed --serial is refused whatever the port.
    if (line.has("--serial"))
        TakeSerialSettings(line.value("--serial"));
    PortChoice port;
    port.name = line.value("--port");
    if (port.name == "parallel") {
        port.type = PORT_PARALLEL;
        port.device = MapText(gLptComNameMap, gLptInfo);
    } else if (port.name == "usb") {
        port.type = PORT_USB;
    } else if (port.name.rfind("tcp:", 0) == 0) {
        port.type = PORT_NETWORK;
        NetPrinter printer{{}, NET_DEFAULT_PORT, NET_DEFAULT_TIMEOUT_S};
        if (!NetParseEndpoint(port.name.substr(4), &printer))
            throw UsageError{"--port 的值 \"" + port.name + "\" 不是 tcp:HOST[:PORT]（端口 1 … 65535，IPv6 地址加方括号，如 tcp:[::1]:9100）"};
        if (line.has("--connect-timeout")) {
            const std::string seconds = line.value("--connect-timeout");
            char* end = nullptr;
            const unsigned long value = std::strtoul(seconds.c_str(), &end, 10);
            if (seconds.empty() || *end != '\0' || seconds[0] < '0' || seconds[0] > '9' || value < 1 ||
                value > NET_MAX_TIMEOUT_S)
                throw UsageError{"--connect-timeout 的值 \"" + seconds + "\" 不是 1 … " +
                                 std::to_string(NET_MAX_TIMEOUT_S) + " 的秒数"};
            printer.timeoutSeconds = static_cast<DWORD>(value);
        }
        gNetInfo = printer;
        port.device = NetEndpoint(printer.host, printer.port);
    } else {
        port.type = PORT_SERIAL;
        BYTE row = ComRow(port.name);
        const bool path = !port.name.empty() && port.name[0] == '/';
        if (row == 0 && !path)
            throw UsageError{"未知端口 \"" + port.name + "\"（parallel、usb、COM1 … COM7 或设备路径）"};
        // A device path goes under the last COM name, for this process only.
        if (path) {
            row = static_cast<BYTE>(gLptComNameMap.size() - 1);
            if (!PlatUseComDevice(gLptComNameMap[row].text, port.name))
                throw UsageError{"这个系统上 --port 只接受 parallel、usb 和 COM1 … COM7"};
        }
        gComInfo.port = row;
        const char* com = gLptComNameMap[row].text;
        port.device = PlatComDevice(com);
        // 9600,8,N,1,none unless the COM port has stored settings.
        TakeSerialSettings("9600,8,N,1,none");
        DWORD size = sizeof gCurrentComConfig;
        if (!path && GetDefaultCommConfigA(com, &gCurrentComConfig, &size))
            ComInfoFromDcb(gCurrentComConfig.dcb);
        if (line.has("--serial"))
            TakeSerialSettings(line.value("--serial"));
        ComInfoToDcb(gCurrentComConfig.dcb);
    }
    return port;
}

std::string UsbDevicePath()
{
    std::string device = completeDeviceName;
    const size_t pipe = device.rfind("\\PIPE");
    if (pipe != std::string::npos && pipe != 0)
        device.erase(pipe);
    return device;
}

bool OpenChosenPort(PortChoice& port, std::string* message)
{
    bool opened = port.type != PORT_PARALLEL || PortIoHasParallelPort();
    if (opened)
        opened = OpenPorts(port.type) != FALSE;
    if (port.type == PORT_USB)
        port.device = UsbDevicePath();
    if (!opened)
        *message = std::string(PortOpenFailedText_Dw(port.type)) + "\n" + PortOpenFailureDetail(port.type);
    return opened;
}
