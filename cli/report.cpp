// Progress, the job's report and its exit code.
#include "cli/report.h"

#include "cli/cli.h"
#include "platform/station.h"

#include <cstdio>

bool gCliJson = false;
bool gCliQuiet = false;
std::atomic<bool> gCliStop{false};
Progress gProgress;

void Progress::start(bool shown)
{
    shown_ = shown && !gCliQuiet;
    terminal_ = PlatIsTerminal(2);
    decile_ = 0;
    drawn_ = false;
    lastPercent_ = -1;
    lastDetail_.clear();
}

void Progress::show(double fraction, const std::string& detail)
{
    if (!shown_)
        return;
    fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    const int percent = static_cast<int>(fraction * 100);
    if (percent == lastPercent_ && detail == lastDetail_)
        return; // a download reports each percentage more than once
    lastPercent_ = percent;
    lastDetail_ = detail;
    const char* gap = detail.empty() ? "" : "  ";
    if (terminal_) {
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(fraction * kWidth);
        std::fprintf(stderr, "\r[%s%s] %3d%%%s%s   ", std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), percent, gap, detail.c_str());
        std::fflush(stderr);
        drawn_ = true;
    } else if (percent / 10 > decile_) {
        decile_ = percent / 10;
        std::fprintf(stderr, "mptest-cli: %d%%%s%s\n", decile_ * 10, gap, detail.c_str());
    }
}

void Progress::end()
{
    if (drawn_)
        std::fputs("\n", stderr);
    drawn_ = false;
    shown_ = false;
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

int Finish(const Job& job)
{
    gProgress.end();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - job.start);
    if (gCliJson) {
        std::string logged;
        if (job.printerOk)
            logged = std::string(", \"printer\": \"") + (*job.printerOk ? "ok" : "failed") + "\", \"log_error\": " +
                     (job.logError.empty() ? "null" : JsonString(job.logError));
        std::printf("{\"job\": %s, \"port\": %s, \"device\": %s, \"bytes\": %llu, \"sha256\": %s, \"duration_ms\": %lld, "
                    "\"result\": \"%s\", \"message\": %s%s}\n",
                    JsonString(job.name).c_str(), JsonString(job.port.name).c_str(),
                    JsonString(job.port.device).c_str(), static_cast<unsigned long long>(job.bytes),
                    job.sha256.empty() ? "null" : JsonString(job.sha256).c_str(), static_cast<long long>(ms.count()),
                    job.ok ? "ok" : "failed", JsonString(job.message).c_str(), logged.c_str());
    } else if (job.ok && !gCliQuiet && !job.message.empty()) {
        std::printf("%s\n", job.message.c_str());
    }
    std::fflush(stdout);
    if (job.stopped) {
        std::fprintf(stderr, "mptest-cli: 结束发送：已发送 %llu 字节\n", static_cast<unsigned long long>(job.bytes));
        return kExitStopped;
    }
    if (!job.ok) {
        std::fprintf(stderr, "mptest-cli: %s\n", job.message.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

std::string Formatted(const char* format, uint64_t value)
{
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(value));
    return text;
}
