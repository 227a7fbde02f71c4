// The printer's real-time status: the conditions it can be put in (paper
// out, cover open, ...) and the status bytes it answers to DLE EOT 1 ... 4
// (10 04 n) in each. The bit tables are what a reader of those answers
// decodes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Conditions, as bits of PrinterState::status; 0 is a ready printer.
enum StatusCondition : unsigned {
    kPaperOut = 1u << 0,
    kPaperLow = 1u << 1,
    kCoverOpen = 1u << 2,
    kOffline = 1u << 3,
    kCutterError = 1u << 4,
};

// What each request answers on a ready printer: bits 1 and 4 are always
// set, and request 1 also reads drawer connector pin 3 as high.
inline constexpr std::array<uint8_t, 4> kReadyStatus{0x16, 0x12, 0x12, 0x12};

struct StatusBit {
    int request;        // n of DLE EOT n
    uint8_t mask;       // the bits that say it
    const char* meaning;
};

// Every bit a condition sets, by request.
inline constexpr std::array<StatusBit, 7> kStatusBits{{
    {1, 0x08, "offline"},
    {2, 0x04, "cover open"},
    {2, 0x20, "printing stopped: paper out"},
    {2, 0x40, "error"},
    {3, 0x08, "cutter error"},
    {4, 0x0C, "paper low"},
    {4, 0x60, "paper out"},
}};

struct StatusConditionRow {
    unsigned condition;
    const char* name;                // as --status and the status file spell it
    std::array<uint8_t, 4> bits;     // added to the answer of request 1 ... 4
};

// A condition that stops printing also takes the printer offline.
inline constexpr std::array<StatusConditionRow, 5> kStatusConditions{{
    {kPaperOut, "paper-out", {0x08, 0x20, 0x00, 0x6C}},
    {kPaperLow, "paper-low", {0x00, 0x00, 0x00, 0x0C}},
    {kCoverOpen, "cover-open", {0x08, 0x04, 0x00, 0x00}},
    {kOffline, "offline", {0x08, 0x00, 0x00, 0x00}},
    {kCutterError, "cutter-error", {0x08, 0x40, 0x08, 0x00}},
}};

// The answer to DLE EOT `request` (1 ... 4) in the conditions `status`.
uint8_t statusByte(int request, unsigned status);
// "printer status", "offline cause", "error cause", "paper roll sensor".
const char* statusRequestName(int request);
// The condition named `name` ("paper-out", ...), if there is one.
std::optional<unsigned> statusCondition(std::string_view name);
// The conditions' names, in table order.
std::vector<std::string> statusNames(unsigned status);

} // namespace sim
