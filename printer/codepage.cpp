// The character-table print's bytes.
#include "printer/codepage.h"

#include <cstdlib>

const std::array<NamedCodeTable, 10> kNamedCodeTables{{
    {0, "PC437"},
    {1, "Katakana"},
    {2, "PC850"},
    {3, "PC860"},
    {4, "PC863"},
    {5, "PC865"},
    {16, "WPC1252"},
    {17, "PC866"},
    {18, "PC852"},
    {19, "PC858"},
}};

const char* CodeTableName(int number)
{
    for (const NamedCodeTable& table : kNamedCodeTables)
        if (table.number == number)
            return table.name;
    return nullptr;
}

bool ParseCodeTable(const char* text, int* number, std::string* error)
{
    char* end = nullptr;
    const long value = text != nullptr ? std::strtol(text, &end, 10) : -1;
    if (text == nullptr || end == text || *end != '\0' || value < 0 || value > 255) {
        *error = "代码页编号应为 0–255";
        return false;
    }
    *number = static_cast<int>(value);
    return true;
}

std::string CodePageBytes(int number)
{
    if (number < 0 || number > 255)
        return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\x1C\x2E\x1B\x74";
    out.push_back(static_cast<char>(number));
    out += "ESC t " + std::to_string(number);
    if (const char* name = CodeTableName(number))
        out += std::string(" ") + name;
    // 18 characters a line, so that the grid fits the narrowest paper.
    out += "\n  ";
    out += kHex;
    out += '\n';
    for (int row = 8; row < 16; ++row) {
        out.push_back(kHex[row]);
        out.push_back(' ');
        for (int column = 0; column < 16; ++column)
            out.push_back(static_cast<char>(row << 4 | column));
        out += '\n';
    }
    out += "\n\x1B\x40";
    return out;
}

std::string AllCodePagesBytes()
{
    std::string out;
    for (const NamedCodeTable& table : kNamedCodeTables)
        out += CodePageBytes(table.number);
    return out;
}
