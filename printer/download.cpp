// The downloads' command bytes.
#include "printer/download.h"

namespace {

constexpr BYTE kEnterDownloadState[4] = {0x1C, 0xAA, 0x55, 0x01};
constexpr BYTE kWritePrnNum[3] = {0x1C, 0xAA, 0x1A};
constexpr BYTE kPrintPrnNum[3] = {0x1C, 0xAA, 0x19};

bool IsPrnNumChar(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::string EnterDownloadBytes()
{
    return std::string(reinterpret_cast<const char*>(kEnterDownloadState), sizeof kEnterDownloadState);
}

bool IsLegalPrnNum(const char* text)
{
    size_t count = 0;
    while (text[count] != '\0' && IsPrnNumChar(static_cast<unsigned char>(text[count])))
        ++count;
    return text[count] == '\0' && count == kPrnNumLength;
}

std::string PrnNumWriteBytes(const char* number)
{
    return std::string(reinterpret_cast<const char*>(kWritePrnNum), sizeof kWritePrnNum) +
           std::string(number, kPrnNumLength);
}

std::string PrnNumPrintBytes()
{
    return std::string(reinterpret_cast<const char*>(kPrintPrnNum), sizeof kPrintPrnNum);
}
