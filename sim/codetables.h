// The character code tables ESC t n chooses between, by number, and the
// glyph each draws for a byte of its upper half (80-FF).
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct CodeTable {
    int number;             // n of ESC t n
    const char* name;       // "PC437", "WPC1252", ...
    const char16_t* upper;  // 128 characters for 80-FF; null: a table whose glyphs are not drawn
};

// The named table `number`, or null for a number no table here has.
const CodeTable* codeTable(int number);
// The UTF-8 character `byte` (80-FF) stands for in table `number`; empty
// when that table is not drawn, or leaves the byte undefined.
std::string codeTableGlyph(int number, uint8_t byte);

} // namespace sim
