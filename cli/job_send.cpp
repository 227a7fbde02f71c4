// The console's jobs: the ports there are, and the three sends.
#include "cli/jobs.h"

#include "cli/cli.h"
#include "cli/options.h"
#include "cli/passes.h"
#include "platform/comdevices.h"
#include "port/line_settings.h"
#include "port/port.h"
#include "port/portio.h"
#include "port/usb.h"
#include "port/network.h"
#include "printer/text.h"
#include "send/hex.h"
#include "send/send.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// The console's rule skips what is no hexadecimal digit, so "1B 4G" would
// go as one byte; on a command line a typing error is refused instead.
void RefuseNonHexTokens(const std::string& text)
{
    std::stringstream tokens(text);
    for (std::string token; tokens >> token;)
        for (char c : token)
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                throw UsageError{"--hex 中的 \"" + token + "\" 不是十六进制数（只能有 0-9、A-F，字节之间用空格分开）"};
}

} // namespace

bool ReadSendFile(const std::string& path, Job& job)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        job.message = "无法读取文件 " + path;
        return false;
    }
    // The engine reads the file itself: it is kept here only for its digest.
    std::string content;
    size_t size = 0;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        size += static_cast<size_t>(in.gcount());
        if (gCliJson)
            content.append(block, static_cast<size_t>(in.gcount()));
        if (size > MAX_SEND_FILE_SIZE) {
            job.message = "文件 " + path + " 超过 5 MiB（5242880 字节），没有发送";
            return false;
        }
    }
    if (in.bad()) {
        job.message = "无法读取文件 " + path;
        return false;
    }
    if (gCliJson) // only the JSON carries the digest
        job.sha256 = Sha256Hex(content);
    return true;
}

int RunPorts(const CommandLine&)
{
    for (BYTE row = 4; row < gLptComNameMap.size(); ++row) {
        const char* com = gLptComNameMap[row].text;
        COMMCONFIG config = gDefaultComConfig;
        DWORD size = sizeof config;
        const std::string settings =
            GetDefaultCommConfigA(com, &config, &size) ? CommaLineSettings(config.dcb) : "9600,8,N,1,none";
        if (gCliJson)
            std::printf("{\"port\": \"%s\", \"device\": %s, \"settings\": \"%s\"}\n", com,
                        JsonString(PlatComDevice(com)).c_str(), settings.c_str());
        else
            std::printf("%-9s %-40s %s\n", com, PlatComDevice(com).c_str(), settings.c_str());
    }
    char usb[256] = {};
    const bool found = GetUsbDeviceFileName(&GUID_CLASS_I82930_BULK, usb) != FALSE;
    const bool parallel = PortIoHasParallelPort();
    if (gCliJson) {
        std::printf("{\"port\": \"usb\", \"device\": %s, \"found\": %s}\n", found ? JsonString(usb).c_str() : "null",
                    found ? "true" : "false");
        std::printf("{\"port\": \"parallel\", \"device\": \"%s\", \"reachable\": %s}\n", MapText(gLptComNameMap, gLptInfo),
                    parallel ? "true" : "false");
    } else {
        std::printf("%-9s %s\n", "usb", found ? usb : "没有找到 USB 打印机");
        std::printf("%-9s %s\n", "parallel", parallel ? "可用" : "不可用");
    }
    NetPrinter network{};
    NetLoadSettings(&network);
    const std::string where = network.host[0] != '\0' ? NetEndpoint(network.host, network.port) : "";
    if (gCliJson)
        std::printf("{\"port\": \"tcp\", \"device\": %s, \"connect_timeout\": %lu}\n",
                    where.empty() ? "null" : JsonString(where).c_str(), static_cast<unsigned long>(network.timeoutSeconds));
    else
        std::printf("%-9s %s\n", "tcp", where.empty() ? "没有设置网络打印机" : ("tcp:" + where).c_str());
    return kExitOk;
}

int RunSend(const CommandLine& line)
{
    const int kinds = line.has("--hex") + line.has("--text") + line.has("--file");
    if (kinds != 1)
        throw UsageError{"send 需要 --hex、--text、--file 三者之一"};
    if (!line.positional.empty())
        throw UsageError{"send 不接受参数 \"" + line.positional.front() + "\""};
    const unsigned passes = CountOption(line, "--repeat", 1, 1000000);
    Job job;
    job.port = ChoosePort(line);
    if (line.has("--file")) {
        job.name = "send-file";
        const std::string path = line.value("--file");
        if (!ReadSendFile(path, job) || !OpenJobPort(job))
            return Finish(job);
        SendFilePasses(job, path, SEND_MODE_FILE, passes);
        return Finish(job);
    }
    const bool hex = line.has("--hex");
    job.name = hex ? "send-hex" : "send-text";
    if (hex)
        RefuseNonHexTokens(line.value("--hex"));
    // Hexadecimal digits go to the engine as typed, which pairs them.
    const std::string text = TextForPrinter(line.value(hex ? "--hex" : "--text").c_str());
    BYTE probe[kMaxTypedBytes] = {};
    if (text.empty() || (hex && TranslateString(probe, text.data(), static_cast<DWORD>(text.size())) == 0)) {
        job.message = "输入框为空!";
        return Finish(job);
    }
    if (!OpenJobPort(job))
        return Finish(job);
    SendCommandPasses(job, text, static_cast<WORD>(SEND_MODE_CMDS | SEND_ONCE | (hex ? SEND_HEX : SEND_TEXT)), passes,
                      "发送数据错误！请重试");
    return Finish(job);
}
