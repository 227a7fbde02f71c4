// The receive view's record and its text (see receive.h).
#include "ui/console/receive.h"

#include "printer/status.h"

#include <cstdio>

namespace {

// The view's hex: kHexLineBytes to a line, so that the window lays out only
// the lines it shows, not a whole read's worth on one line.
constexpr size_t kHexLineBytes = 32;

// The bytes in hex, `perLine` to a line (0: all on one).
std::string Hex(std::string_view bytes, size_t perLine = 0)
{
    static const char digits[] = "0123456789ABCDEF";
    if (bytes.empty())
        return {};
    const size_t breaks = perLine != 0 ? (bytes.size() - 1) / perLine : 0;
    // Written in place: a megabyte of a command file goes through here for the log.
    std::string out(bytes.size() * 3 - 1 + breaks, ' ');
    char* at = out.data();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (i > 0) {
            if (perLine != 0 && i % perLine == 0)
                *at++ = '\r', *at++ = '\n';
            else
                ++at; // the space already there
        }
        *at++ = digits[b >> 4];
        *at++ = digits[b & 0x0F];
    }
    return out;
}

// The bytes as GBK text in UTF-8, control characters other than line breaks
// and tabs shown as '.', every line break as CR LF. `lfEnds`: a first LF
// only ends the CR the chunk before ended in.
std::string Text(std::string_view bytes, bool lfEnds)
{
    std::string clean;
    clean.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            if (c == '\n' && i == 0 && lfEnds)
                continue;
            clean += "\r\n";
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else if ((b < 0x20 && c != '\t') || b == 0x7F) {
            clean += '.';
        } else {
            clean += c;
        }
    }
    return PlatGbkToUtf8(clean);
}

void DropExpired(RxView& view, DWORD tick)
{
    while (!view.expected.empty() && tick - view.expected.front().tick > RX_STATUS_ANSWER_MS)
        view.expected.pop_front();
}

} // namespace

std::string RxStamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", unsigned{now.wHour}, unsigned{now.wMinute},
                  unsigned{now.wSecond}, unsigned{now.wMilliseconds});
    return text;
}

void RxExpectStatus(RxView& view, std::string_view sent, DWORD tick)
{
    DropExpired(view, tick);
    for (size_t i = 0; i + 2 < sent.size(); ++i) {
        if (const int request = StatusRequestAt(sent, i)) {
            view.expected.push_back({request, tick});
            i += 2;
        }
    }
}

std::string RxAppend(RxView& view, std::string_view bytes, const std::string& stamp, DWORD tick)
{
    if (bytes.empty())
        return {};
    DropExpired(view, tick);
    RxChunk chunk{stamp, std::string(bytes), {}, view.serials++};
    for (size_t i = 0; i < bytes.size() && !view.expected.empty(); ++i) {
        const int request = view.expected.front().request;
        view.expected.pop_front();
        chunk.status += "DLE EOT " + std::to_string(request) + ": " +
                        StatusAnswerText(request, static_cast<BYTE>(bytes[i])) + "\r\n";
    }
    view.received += bytes.size();
    view.kept += bytes.size();
    std::string decoded = chunk.status;
    view.chunks.push_back(std::move(chunk));
    while (view.kept > RX_VIEW_BYTES) {
        RxChunk& oldest = view.chunks.front();
        const size_t over = view.kept - RX_VIEW_BYTES;
        if (oldest.bytes.size() <= over) {
            view.kept -= oldest.bytes.size();
            view.chunks.pop_front();
        } else {
            oldest.bytes.erase(0, over);
            view.kept -= over;
        }
    }
    return decoded;
}

void RxClear(RxView& view)
{
    view.chunks.clear();
    view.kept = 0;
    view.received = 0;
    view.expected.clear();
}

std::string RxRenderChunk(const RxChunk& chunk, const RxChunk* before, bool hex, bool stamps)
{
    // A chunk followed by its status lines has ended its line already.
    const bool lineOpen = before != nullptr && before->status.empty();
    const bool ownLine = stamps || !chunk.status.empty() || hex;
    std::string out;
    if (ownLine && lineOpen)
        out += "\r\n";
    if (stamps)
        out += "[" + chunk.stamp + "] ";
    if (hex)
        out += Hex(chunk.bytes, kHexLineBytes);
    else
        out += Text(chunk.bytes, !ownLine && lineOpen && before->bytes.ends_with('\r'));
    if (!chunk.status.empty())
        out += "\r\n" + chunk.status;
    return out;
}

std::string RxRender(const RxView& view, bool hex, bool stamps)
{
    std::string out;
    const RxChunk* before = nullptr;
    for (const RxChunk& chunk : view.chunks) {
        out += RxRenderChunk(chunk, before, hex, stamps);
        before = &chunk;
    }
    return out;
}

std::string RxLogLine(const std::string& stamp, bool sent, std::string_view bytes)
{
    std::string line = stamp + (sent ? " 发送 " : " 接收 ") + Hex(bytes);
    std::string printable(bytes);
    bool any = false;
    for (char& c : printable) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            c = '.';
        any = any || (b >= 0x20 && b < 0x7F);
    }
    if (any)
        line += " | " + PlatGbkToUtf8(printable);
    return line + "\r\n";
}

std::string RxLogStatus(const std::string& stamp, const std::string& decoded)
{
    std::string lines;
    for (size_t at = 0; at < decoded.size();) {
        size_t end = decoded.find("\r\n", at);
        if (end == std::string::npos)
            end = decoded.size();
        if (end > at)
            lines += stamp + " 状态 " + decoded.substr(at, end - at) + "\r\n";
        at = end + 2;
    }
    return lines;
}
