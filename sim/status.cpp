// The printer's real-time status answers.
#include "sim/status.h"

namespace sim {

uint8_t statusByte(int request, unsigned status)
{
    if (request < 1 || request > 4)
        return 0;
    uint8_t b = kReadyStatus[size_t(request - 1)];
    for (const StatusConditionRow& row : kStatusConditions)
        if (status & row.condition)
            b |= row.bits[size_t(request - 1)];
    return b;
}

const char* statusRequestName(int request)
{
    static constexpr const char* kNames[] = {"printer status", "offline cause", "error cause",
                                             "paper roll sensor"};
    return request >= 1 && request <= 4 ? kNames[request - 1] : "unknown";
}

std::optional<unsigned> statusCondition(std::string_view name)
{
    for (const StatusConditionRow& row : kStatusConditions)
        if (name == row.name)
            return row.condition;
    return std::nullopt;
}

std::vector<std::string> statusNames(unsigned status)
{
    std::vector<std::string> names;
    for (const StatusConditionRow& row : kStatusConditions)
        if (status & row.condition)
            names.push_back(row.name);
    return names;
}

} // namespace sim
