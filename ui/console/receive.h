// What the console's receive view holds and shows: the printer's chunks with
// their time stamps, the answers to the real-time status requests decoded,
// and the lines of the session log. No windows here: the console draws.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

// The view keeps the printer's last this many bytes.
constexpr size_t RX_VIEW_BYTES = 1024 * 1024;
// A status request the printer has not answered after this long is dropped.
constexpr DWORD RX_STATUS_ANSWER_MS = 3000;

struct RxChunk {
    std::string stamp; // "hh:mm:ss.mmm"
    std::string bytes;
    // The decoded status answers among the bytes, one line each.
    std::string status;
    // The chunk's place in the view's order (RxAppend numbers them).
    uint64_t serial;
};

struct RxStatusRequest {
    int request; // n of DLE EOT n
    DWORD tick;  // GetTickCount() when it was sent
};

struct RxView {
    std::deque<RxChunk> chunks;
    size_t kept = 0;        // bytes in chunks
    uint64_t received = 0;  // every byte since the last clear
    std::deque<RxStatusRequest> expected;
    uint64_t serials = 0; // chunks appended since the start
};

// "hh:mm:ss.mmm" of the local time now.
std::string RxStamp();
// Notes every DLE EOT 1 ... 4 among bytes being sent, so that the next bytes
// the printer sends are decoded as their answers.
void RxExpectStatus(RxView& view, std::string_view sent, DWORD tick);
// Adds a chunk the printer sent; the oldest bytes go past RX_VIEW_BYTES.
// Returns the status answers it decoded, a "DLE EOT n: ..." line each.
std::string RxAppend(RxView& view, std::string_view bytes, const std::string& stamp, DWORD tick);
// Empties the view and its count.
void RxClear(RxView& view);
// The view's text: bytes as hex (32 to a line) or as GBK text, each chunk on a line of its
// own when stamped, and each decoded status answer on a line after its chunk.
// Every line ends in CR LF, whether the printer ended it with CR, LF or both.
std::string RxRender(const RxView& view, bool hex, bool stamps);
// One chunk's part of that text, after the chunk `before` (nullptr for the
// first): the text is the chunks' parts one after the other.
std::string RxRenderChunk(const RxChunk& chunk, const RxChunk* before, bool hex, bool stamps);
// One line of the session log: time stamp, direction, the bytes in hex and,
// when any is printable, the text.
std::string RxLogLine(const std::string& stamp, bool sent, std::string_view bytes);
// The session log's lines for decoded status answers (RxAppend's lines), so
// that the log says what the view says: "<stamp> 状态 DLE EOT 4: 7E 纸将尽 缺纸".
std::string RxLogStatus(const std::string& stamp, const std::string& decoded);
