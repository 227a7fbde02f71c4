// Machine numbers for a production run: the counter's next value and the
// attempt log's lines.
#include "cli/cli.h"

bool NextCounterValue(const std::string& number, std::string* next)
{
    size_t digits = number.size();
    while (digits > 0 && number[digits - 1] >= '0' && number[digits - 1] <= '9')
        --digits;
    if (digits == number.size())
        return false; // no run of digits to count with
    std::string out = number;
    for (size_t i = out.size(); i-- > digits;) {
        if (out[i] != '9') {
            ++out[i];
            *next = out;
            return true;
        }
        out[i] = '0';
    }
    return false; // the run is all nines: the next number would not fit
}

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr char kUsedUp[] = "used up after ";

} // namespace

CounterText ReadCounterText(const std::string& content)
{
    CounterText counter;
    std::string text = content;
    if (text.starts_with(kBom)) {
        counter.bom = kBom;
        text.erase(0, counter.bom.size());
    }
    if (text.find("\r\n") != std::string::npos)
        counter.eol = "\r\n";
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    counter.usedUp = text.starts_with(kUsedUp);
    counter.number = counter.usedUp ? text.substr(sizeof kUsedUp - 1) : text;
    return counter;
}

std::string CounterFileText(const CounterText& counter)
{
    return counter.bom + (counter.usedUp ? kUsedUp : "") + counter.number + counter.eol;
}

bool CounterAfterIssue(const CounterText& counter, CounterText* after)
{
    *after = counter;
    if (NextCounterValue(counter.number, &after->number))
        return true;
    const char last = counter.number.empty() ? '\0' : counter.number.back();
    after->usedUp = last >= '0' && last <= '9'; // all nines: this was the last one
    return after->usedUp;
}

namespace {

std::string Field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string LogLine(const std::string& time, const std::string& host, const std::string& port,
                    const std::string& device, const std::string& number, bool ok)
{
    return Field(time) + ',' + Field(host) + ',' + Field(port) + ',' + Field(device) + ',' + Field(number) + ',' +
           (ok ? "ok" : "failed") + '\n';
}
