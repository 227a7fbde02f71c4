// The character-table print: for one table (ESC t n), the bytes 80-FF in a
// grid of 8 rows by 16 columns with hex headers and the table's number, the
// Chinese mode left first (FS .) and the printer reset after (ESC @).
#pragma once

#include "platform/win32.h"

#include <array>
#include <string>

struct NamedCodeTable {
    int number; // n of ESC t n
    const char* name;
};

// The tables most printers of this kind carry, in the order "全部打印" prints them.
extern const std::array<NamedCodeTable, 10> kNamedCodeTables;

// The table's name, or nullptr for a number none of them has.
const char* CodeTableName(int number);
// A table number as typed: 0..255 in decimal; false with *error (Chinese)
// otherwise.
bool ParseCodeTable(const char* text, int* number, std::string* error);

// FS . ESC t n, a title line ("ESC t 16 WPC1252" or "ESC t 42"), the header
// line "  0123456789ABCDEF" of low nibbles, eight lines "8 " .. "F " each
// with its 16 bytes, a blank line, ESC @. Empty for a number outside 0..255.
std::string CodePageBytes(int number);
// Every named table's print, one after another.
std::string AllCodePagesBytes();
