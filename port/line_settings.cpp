// The serial line's settings in words: one table of words per setting, read
// and written by the keyed form (serial.conf) and the comma form (mptest-cli).
#include "port/line_settings.h"

#include <optional>
#include <span>
#include <vector>

namespace {

struct Named {
    BYTE value;
    const char* word;
    char letter; // the comma form's, for a parity
};
constexpr Named kParities[] = {
    {NOPARITY, "none", 'N'},   {ODDPARITY, "odd", 'O'},     {EVENPARITY, "even", 'E'},
    {MARKPARITY, "mark", 'M'}, {SPACEPARITY, "space", 'S'},
};
constexpr Named kStopBits[] = {{ONESTOPBIT, "1", 0}, {ONE5STOPBITS, "1.5", 0}, {TWOSTOPBITS, "2", 0}};

enum class Flow { None, Hardware, Software, Cts, Dsr };
struct FlowWord {
    Flow flow;
    const char* word;
};
// The first word of each flow is the one written.
constexpr FlowWord kFlowWords[] = {
    {Flow::None, "none"},         {Flow::Hardware, "rts-cts"}, {Flow::Hardware, "hardware"},
    {Flow::Software, "xon-xoff"}, {Flow::Software, "xonxoff"}, {Flow::Cts, "cts"},
    {Flow::Dsr, "dsr"},
};

std::optional<Flow> FlowOf(const std::string& word)
{
    for (const FlowWord& f : kFlowWords)
        if (word == f.word)
            return f.flow;
    return std::nullopt;
}

const char* WordOf(Flow flow)
{
    for (const FlowWord& f : kFlowWords)
        if (f.flow == flow)
            return f.word;
    return "none";
}

// Digits only, and no more than a DWORD holds.
std::optional<DWORD> NumberOf(const std::string& s)
{
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long n = std::stoull(s);
    if (n > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<DWORD>(n);
}

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// The parts between commas; a comma at the end ends the last part and
// starts no other.
std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts(1);
    for (char c : text)
        if (c == ',')
            parts.emplace_back();
        else
            parts.back() += c;
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back();
    return parts;
}

std::string WordOrNumber(std::span<const Named> table, BYTE value)
{
    for (const Named& n : table)
        if (n.value == value)
            return n.word;
    return std::to_string(value);
}

bool ReadNamed(std::span<const Named> table, const std::string& word, BYTE& into)
{
    for (const Named& n : table)
        if (word == n.word) {
            into = n.value;
            return true;
        }
    return false;
}

// Sets the flow fields for a set of flows (none but Flow::None for none).
void SetFlows(std::span<const Flow> flows, DCB& dcb)
{
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    for (Flow f : flows) {
        if (f == Flow::Hardware) {
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 1;
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        } else if (f == Flow::Cts) {
            dcb.fOutxCtsFlow = 1;
        } else if (f == Flow::Dsr) {
            dcb.fOutxDsrFlow = 1;
        } else if (f == Flow::Software) {
            dcb.fOutX = dcb.fInX = 1;
        }
    }
}

} // namespace

std::array<std::string, 5> KeyedLineSettings(const DCB& dcb)
{
    std::vector<Flow> flows;
    if (dcb.fOutxCtsFlow && dcb.fOutxDsrFlow && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE &&
        dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) {
        flows.push_back(Flow::Hardware);
    } else {
        if (dcb.fOutxCtsFlow)
            flows.push_back(Flow::Cts);
        if (dcb.fOutxDsrFlow)
            flows.push_back(Flow::Dsr);
    }
    if (dcb.fOutX || dcb.fInX)
        flows.push_back(Flow::Software);
    std::string flow;
    for (Flow f : flows) {
        if (!flow.empty())
            flow += ',';
        flow += WordOf(f);
    }
    return {std::to_string(dcb.BaudRate), std::to_string(dcb.ByteSize), WordOrNumber(kParities, dcb.Parity),
            WordOrNumber(kStopBits, dcb.StopBits), flow.empty() ? WordOf(Flow::None) : flow};
}

bool ReadKeyedLineSetting(LineKey key, const std::string& word, DCB& dcb)
{
    switch (key) {
    case LINE_BAUD:
        if (const auto speed = NumberOf(word)) {
            dcb.BaudRate = *speed;
            return true;
        }
        return false;
    case LINE_DATA:
        if (const auto bits = NumberOf(word); bits && *bits >= 5 && *bits <= 8) {
            dcb.ByteSize = static_cast<BYTE>(*bits);
            return true;
        }
        return false;
    case LINE_PARITY:
        return ReadNamed(kParities, word, dcb.Parity);
    case LINE_STOP:
        return ReadNamed(kStopBits, word, dcb.StopBits);
    case LINE_FLOW: {
        // "none" alone, or flows joined by commas.
        std::vector<Flow> flows;
        for (const std::string& part : Split(word)) {
            const auto flow = FlowOf(Trim(part));
            if (!flow || (*flow == Flow::None && word != "none"))
                return false;
            flows.push_back(*flow);
        }
        SetFlows(flows, dcb);
        return true;
    }
    }
    return false;
}

std::string CommaLineSettings(const DCB& dcb)
{
    std::string parity = std::to_string(dcb.Parity);
    for (const Named& n : kParities)
        if (n.value == dcb.Parity)
            parity = std::string(1, n.letter);
    const Flow flow = dcb.fOutxCtsFlow && dcb.fOutxDsrFlow ? Flow::Hardware
                      : dcb.fOutX || dcb.fInX              ? Flow::Software
                                                           : Flow::None;
    return std::to_string(dcb.BaudRate) + "," + std::to_string(dcb.ByteSize) + "," + parity + "," +
           WordOrNumber(kStopBits, dcb.StopBits) + "," + WordOf(flow);
}

bool ReadCommaLineSettings(const std::string& text, DCB& dcb)
{
    const std::vector<std::string> parts = Split(text);
    if (parts.size() != 5 || parts[LINE_PARITY].size() != 1)
        return false;
    DCB read = dcb;
    const char letter = parts[LINE_PARITY][0];
    bool parity = false;
    for (const Named& n : kParities)
        if (letter == n.letter || letter == n.letter - 'A' + 'a') {
            read.Parity = n.value;
            parity = true;
        }
    // The comma form has one flow, and no cts or dsr alone.
    const auto flow = FlowOf(parts[LINE_FLOW]);
    if (!parity || !flow || *flow == Flow::Cts || *flow == Flow::Dsr ||
        !ReadKeyedLineSetting(LINE_BAUD, parts[LINE_BAUD], read) ||
        !ReadKeyedLineSetting(LINE_DATA, parts[LINE_DATA], read) ||
        !ReadKeyedLineSetting(LINE_STOP, parts[LINE_STOP], read))
        return false;
    SetFlows(std::span<const Flow>(&*flow, 1), read);
    dcb = read;
    return true;
}
