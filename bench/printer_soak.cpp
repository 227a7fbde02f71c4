// Benchmark: the virtual printer in a long session. Feeds the decoder a
// 5 MiB mix of what mptest sends (text in GBK and Latin, bit images, cuts,
// drawer kicks, status requests, a font download) over and over, in the
// pieces a pseudo-terminal delivers, then writes the outputs. Reports the
// rate and the peak resident size, which must stay under 100 MB however long
// the session.
#include "sim/printer.h"

#include <QByteArray>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// kB of a line of /proc/self/status ("VmRSS:", "VmHWM:").
long statusKb(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    return -1;
}

std::vector<uint8_t> pass(size_t size)
{
    std::vector<uint8_t> out;
    const auto add = [&](std::initializer_list<uint8_t> bytes) { out.insert(out.end(), bytes); };
    const auto text = [&](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
    const QByteArray chinese = QByteArray::fromHex("b2e2cad4b4f2d3a1bbfad6d0cec4"); // 测试打印机中文
    const size_t font = 64 * 1024; // at the end, ended by the quiet line after the pass
    unsigned n = 0;
    while (out.size() + font + 3 < size) {
        add({0x1B, 0x40});
        text("Receipt line 0123456789 ABCDEFGH\n");
        out.insert(out.end(), chinese.begin(), chinese.end());
        add({0x0A, 0x1B, 0x2A, 0x00, 0x40, 0x00});
        for (int c = 0; c < 64; ++c)
            out.push_back(uint8_t(c * 37 + n));
        add({0x0A, 0x10, 0x04, uint8_t(1 + n % 4)});
        if (++n % 50 == 0)
            add({0x1D, 0x56, 0x42, 0x10, 0x1B, 0x70, 0x00, 0x33, 0x00});
    }
    add({0x1C, 0xAA, 0x0D});
    out.resize(size, 0xA5);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    double gib = 1; // the peak is reached once the transcript is full, after some 100 MiB
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--gib") == 0)
            gib = std::atof(argv[i + 1]);
    const std::vector<uint8_t> bytes = pass(5u << 20);
    const uint64_t total = uint64_t(gib * double(1ull << 30));

    sim::PrinterOptions options;
    options.keepReceived = 0; // as mptest-printer runs
    options.downloadQuiet = std::chrono::milliseconds(2000);
    sim::Printer printer(options);
    // A clock that moves 3 s per pass, so that each pass's download ends.
    auto now = sim::Clock::now();
    const auto start = std::chrono::steady_clock::now();
    uint64_t fed = 0, nextReport = 256u << 20;
    while (fed < total) {
        if (fed >= nextReport) { // the resident size levels off
            std::printf("printer_soak: %llu MiB, RSS %.1f MB\n", static_cast<unsigned long long>(fed >> 20),
                        double(statusKb("VmRSS:")) / 1024);
            nextReport += 256u << 20;
        }
        for (size_t at = 0; at < bytes.size() && fed < total; at += 4096) {
            const size_t n = std::min<size_t>({4096, bytes.size() - at, size_t(total - fed)});
            printer.feed(std::span<const uint8_t>(bytes.data() + at, n), now);
            fed += n;
        }
        printer.takeAnswers();
        now += std::chrono::seconds(3);
        printer.tick(now);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long feedPeak = statusKb("VmHWM:");
    const std::string dir = (std::filesystem::temp_directory_path() / "printer_soak_out").string();
    std::string error;
    if (!printer.writeOutputs(dir, &error))
        std::fprintf(stderr, "printer_soak: %s\n", error.c_str());
    std::filesystem::remove_all(dir);
    const sim::PrinterState s = printer.state();
    std::printf("printer_soak: %.2f GiB in %.1f s (%.1f MB/s), %llu cuts, %llu downloads\n", double(fed) / (1ull << 30),
                seconds, double(fed) / 1e6 / seconds, static_cast<unsigned long long>(s.cutCount),
                static_cast<unsigned long long>(s.downloads.size()));
    std::printf("printer_soak: peak RSS %.1f MB while feeding, %.1f MB with the outputs written (limit 100 MB)\n",
                double(feedPeak) / 1024, double(statusKb("VmHWM:")) / 1024);
    return statusKb("VmHWM:") < 100 * 1024 ? 0 : 1;
}
