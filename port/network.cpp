// The network printer's address, and the words for its failures.
#include "port/network.h"

#include "platform/station.h"
#include "port/port.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

NetPrinter gNetInfo = {{}, NET_DEFAULT_PORT, NET_DEFAULT_TIMEOUT_S};

namespace {

// Written by the record's owner of the moment, read by the UI thread after
// the owner is done with it.
NetFailure gConnectFailure = NET_OK;
DWORD gConnectError = 0;
DWORD gLostError = 0;

std::string Here()
{
    return NetEndpoint(gNetInfo.host, gNetInfo.port);
}

} // namespace

std::string NetEndpoint(const char* host, WORD port)
{
    const std::string name = host;
    const bool v6 = name.find(':') != std::string::npos;
    return (v6 ? "[" + name + "]" : name) + ":" + std::to_string(port);
}

BOOL NetParseEndpoint(const std::string& text, NetPrinter* printer)
{
    std::string host = text;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return FALSE;
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return FALSE;
            port = rest.substr(1);
            if (port.empty())
                return FALSE;
        }
    } else if (const size_t colon = text.find(':'); colon != std::string::npos) {
        if (text.find(':', colon + 1) != std::string::npos)
            return FALSE; // an IPv6 address needs its brackets before a port
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty())
            return FALSE;
    }
    if (host.empty() || host.size() >= sizeof printer->host)
        return FALSE;
    unsigned long number = NET_DEFAULT_PORT;
    if (!port.empty()) {
        char* end = nullptr;
        number = std::strtoul(port.c_str(), &end, 10);
        if (*end != '\0' || port.front() < '0' || port.front() > '9' || number < 1 || number > 65535)
            return FALSE;
    }
    std::memset(printer->host, 0, sizeof printer->host);
    std::memcpy(printer->host, host.data(), host.size());
    printer->port = static_cast<WORD>(number);
    return TRUE;
}

void NetNoteConnectFailure(NetFailure why, DWORD error, DWORD)
{
    gConnectFailure = why;
    gConnectError = error;
}

std::string NetOpenFailureDetail()
{
    const std::string where = Here();
    switch (gConnectFailure) {
    case NET_NO_HOST:
        return PlatIsConsoleProgram() ? "没有指定网络打印机，请用 --port tcp:地址[:端口]"
                                      : "没有设置网络打印机的地址，请在 端口设置 中填写";
    case NET_NO_NAME:
        return where + "：名称无法解析，请检查打印机的地址";
    case NET_REFUSED:
        return where + "：连接被拒绝，打印机的端口没有打开，或另一台电脑正在使用打印机";
    case NET_TIMED_OUT:
        return where + "：连接超时，" + std::to_string(gNetInfo.timeoutSeconds) +
               " 秒内没有应答，请检查地址、网线和打印机电源";
    case NET_UNREACHABLE:
        return where + "：网络不可达，请检查网线和地址";
    case NET_STOPPED:
        return where + "：连接已取消";
    default:
        return where + "：无法连接（错误 " + std::to_string(gConnectError) + "）";
    }
}

void NetNoteLost(DWORD error)
{
    gLostError = error == 0 ? ERROR_NETNAME_DELETED : error;
}

std::string NetLostReason()
{
    if (gLostError == 0)
        return {};
    const std::string where = Here();
    const DWORD error = gLostError;
    gLostError = 0;
    if (error == ERROR_SEM_TIMEOUT || error == ERROR_TIMEOUT)
        return "与 " + where + " 的连接已断开（打印机没有应答）";
    if (error == ERROR_NETNAME_DELETED)
        return "与 " + where + " 的连接被打印机重置";
    return "与 " + where + " 的连接中断（错误 " + std::to_string(error) + "）";
}

namespace {
std::atomic<void (*)()> gWaitPump{nullptr};
} // namespace

void PortSetWaitPump(void (*pump)())
{
    gWaitPump.store(pump);
}

void PortRunWaitPump()
{
    if (auto pump = gWaitPump.load())
        pump();
}

BOOL NetAskStatus(std::span<const BYTE> question, BYTE* answer, bool* answered)
{
    *answered = false;
    // The settings dialog's test is not guarded against a second click, so
    // its connect runs no messages.
    void (*const pump)() = gWaitPump.exchange(nullptr);
    PortClearAbort(); // a stop or close that ended an earlier job is spent
    HANDLE handle = NetConnect();
    gWaitPump.store(pump);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return FALSE;
    DWORD written = 0;
    const auto length = static_cast<DWORD>(question.size());
    if (!PortHandleWrite(handle, question.data(), length, &written) || written != length) {
        NetNoteConnectFailure(NET_OTHER, GetLastError(), 0);
        NetClose(handle);
        return FALSE;
    }
    // The read is bounded by the port's own read bound; a quiet printer is
    // asked no longer than that.
    DWORD got = 0;
    *answered = PortHandleRead(handle, answer, 1, &got) && got == 1;
    NetClose(handle);
    return TRUE;
}
