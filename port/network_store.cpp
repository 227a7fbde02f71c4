// The network printer's settings between runs: a small file of readable
// lines (host=, port=, timeout=) in the program's settings folder, put in
// place whole so that a crash never leaves half of it.
#include "port/network.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::filesystem::path StorePath()
{
    const std::string folder = PlatSettingsFolder();
    const std::u8string utf8(folder.begin(), folder.end());
    return std::filesystem::path(utf8) / "network.conf";
}

// A number from `low` to `high`, or `fallback`.
DWORD Number(const std::string& text, DWORD low, DWORD high, DWORD fallback)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        return fallback;
    return static_cast<DWORD>(value);
}

} // namespace

void NetLoadSettings(NetPrinter* printer)
{
    *printer = NetPrinter{{}, NET_DEFAULT_PORT, NET_DEFAULT_TIMEOUT_S};
    std::ifstream in(StorePath(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "host" && value.size() < sizeof printer->host)
            std::memcpy(printer->host, value.c_str(), value.size() + 1);
        else if (key == "port")
            printer->port = static_cast<WORD>(Number(value, 1, 65535, NET_DEFAULT_PORT));
        else if (key == "timeout")
            printer->timeoutSeconds = Number(value, 1, NET_MAX_TIMEOUT_S, NET_DEFAULT_TIMEOUT_S);
    }
}

BOOL NetSaveSettings(const NetPrinter& printer)
{
    const std::filesystem::path target = StorePath();
    std::error_code error;
    std::filesystem::create_directories(target.parent_path(), error);
    std::filesystem::path temp = target;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "# mptest: the network printer\nhost=" << printer.host << "\nport=" << printer.port
            << "\ntimeout=" << printer.timeoutSeconds << "\n";
        if (!out.flush())
            return FALSE;
    }
    std::filesystem::rename(temp, target, error);
    if (error) {
        std::filesystem::remove(temp, error);
        return FALSE;
    }
    return TRUE;
}
