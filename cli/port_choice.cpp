// Choosing and opening the port of a job.
#include "cli/port_choice.h"

#include "cli/options.h"
#include "platform/comdevices.h"
#include "port/port.h"
#include "port/portio.h"
#include "port/usb.h"
#include "res/texts.h"

#include <array>
#include <optional>
#include <sstream>
#include <vector>

namespace {

template <size_t N>
std::optional<BYTE> RowOfText(const std::array<MapEntry, N>& table, const std::string& text)
{
    for (size_t row = 0; row < N; ++row)
        if (text == table[row].text)
            return static_cast<BYTE>(row);
    return std::nullopt;
}

template <size_t N>
std::optional<BYTE> RowOfValue(const std::array<MapEntry, N>& table, DWORD value)
{
    for (size_t row = 0; row < N; ++row)
        if (table[row].value == value)
            return static_cast<BYTE>(row);
    return std::nullopt;
}

constexpr std::array<std::pair<char, DWORD>, 5> kParityLetters{
    {{'N', NOPARITY}, {'E', EVENPARITY}, {'O', ODDPARITY}, {'M', MARKPARITY}, {'S', SPACEPARITY}}};
constexpr std::array<const char*, 3> kFlowWords{"xonxoff", "hardware", "none"}; // in FlowRow order

// "BAUD,DATA,PARITY,STOP,FLOW" into gComInfo's line selections.
void TakeSerialSettings(const std::string& settings)
{
    std::vector<std::string> parts;
    std::stringstream in(settings);
    for (std::string part; std::getline(in, part, ',');)
        parts.push_back(part);
    const UsageError bad{"--serial 的值 \"" + settings + "\" 不是 BAUD,DATA,PARITY,STOP,FLOW（例如 19200,8,N,1,none）"};
    if (parts.size() != 5)
        throw bad;
    const auto baud = RowOfText(gComRMap, parts[0]);
    const auto data = RowOfText(gComDMap, parts[1]);
    const auto stop = RowOfText(gComSMap, parts[3]);
    std::optional<BYTE> parity;
    for (const auto& [letter, value] : kParityLetters)
        if (parts[2].size() == 1 && (parts[2][0] == letter || parts[2][0] == letter + ('a' - 'A')))
            parity = RowOfValue(gComPMap, value);
    std::optional<BYTE> flow;
    for (size_t row = 0; row < kFlowWords.size(); ++row)
        if (parts[4] == kFlowWords[row])
            flow = static_cast<BYTE>(row);
    if (!baud || !data || !parity || !stop || !flow)
        throw bad;
    gComInfo.baud = *baud;
    gComInfo.dataBits = *data;
    gComInfo.parity = *parity;
    gComInfo.stopBits = *stop;
    gComInfo.flow = *flow;
}

} // namespace

std::string LineSettingsText(const DCB& dcb)
{
    char parity = '?';
    for (const auto& [letter, value] : kParityLetters)
        if (dcb.Parity == value)
            parity = letter;
    const auto stop = RowOfValue(gComSMap, dcb.StopBits);
    const char* flow = dcb.fOutxCtsFlow && dcb.fOutxDsrFlow ? "hardware" : dcb.fOutX ? "xonxoff" : "none";
    return std::to_string(dcb.BaudRate) + "," + std::to_string(dcb.ByteSize) + "," + parity + "," +
           (stop ? gComSMap[*stop].text : "?") + "," + flow;
}

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
