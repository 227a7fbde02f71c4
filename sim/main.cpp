// mptest-printer: the virtual KQ printer as a program. Decodes a captured
// byte stream, or stands at the far end of a serial or USB pseudo-terminal
// until SIGINT/SIGTERM, and writes transcript.txt, paper.png, state.json.
#include "sim/pty.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage:\n"
    "  mptest-printer decode FILE --out DIR [options]\n"
    "  mptest-printer serial [--as COMn] --out DIR [options]\n"
    "  mptest-printer usb --root DIR [--index N] --out DIR [options]\n"
    "options:\n"
    "  --width 384|576        paper width in dots (58 mm or 80 mm), default 384\n"
    "  --quiet MS             a download ends after MS ms of silence, default 2000\n"
    "  --answer-preamble MODE answer to 1C AA 0D: correct, wrong, short, late, silent\n"
    "  --answer-string MODE   answer to 1B 1D 00 02, same modes\n"
    "  --late MS              delay of a late answer, default 2000\n"
    "  --exit-on-close        end when the sender closes the line for good\n"
    "  --await-firmware       start in the firmware download state (an update over USB)\n"
    "SIGUSR1 writes the outputs; SIGINT or SIGTERM writes them and ends.\n";

int usage(const std::string& why)
{
    std::cerr << "mptest-printer: " << why << "\n" << kUsage;
    return 2;
}

bool parseMode(const std::string& s, sim::AnswerMode* mode)
{
    static const std::map<std::string, sim::AnswerMode> modes = {
        {"correct", sim::AnswerMode::Correct}, {"wrong", sim::AnswerMode::Wrong},
        {"short", sim::AnswerMode::Short},     {"late", sim::AnswerMode::Late},
        {"silent", sim::AnswerMode::Silent},
    };
    auto it = modes.find(s);
    if (it == modes.end())
        return false;
    *mode = it->second;
    return true;
}

bool parseInt(const std::string& s, int lo, int hi, int* out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || errno || v < lo || v > hi)
        return false;
    *out = int(v);
    return true;
}

bool writeOutputs(const sim::Printer& printer, const std::string& dir)
{
    std::string err;
    if (!printer.writeOutputs(dir, &err)) {
        std::cerr << "mptest-printer: " << err << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage("no mode given");
    const std::string mode = argv[1];
    if (mode == "-h" || mode == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (mode != "decode" && mode != "serial" && mode != "usb")
        return usage("unknown mode " + mode);

    std::string file, out = ".", com, root;
    int index = 0, lateMs = 2000, quietMs = 2000, width = 384;
    bool exitOnClose = false;
    sim::PrinterOptions options;
    int i = 2;
    if (mode == "decode") {
        if (argc < 3 || argv[2][0] == '-')
            return usage("decode needs a FILE");
        file = argv[2];
        i = 3;
    }
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= argc)
                return false;
            *v = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--exit-on-close") {
            exitOnClose = true;
        } else if (a == "--await-firmware") {
            options.awaitFirmware = true;
        } else if (!value(&v)) {
            return usage(a + (a.rfind("--", 0) == 0 ? " needs a value" : ": unexpected argument"));
        } else if (a == "--out") {
            out = v;
        } else if (a == "--as" && mode == "serial") {
            com = v;
        } else if (a == "--root" && mode == "usb") {
            root = v;
        } else if (a == "--index" && mode == "usb") {
            if (!parseInt(v, 0, 15, &index))
                return usage("bad --index " + v);
        } else if (a == "--width") {
            if (!parseInt(v, 8, 4096, &width) || (width != 384 && width != 576))
                return usage("--width is 384 or 576");
        } else if (a == "--quiet") {
            if (!parseInt(v, 1, 3600000, &quietMs))
                return usage("bad --quiet " + v);
        } else if (a == "--late") {
            if (!parseInt(v, 0, 3600000, &lateMs))
                return usage("bad --late " + v);
        } else if (a == "--answer-preamble") {
            if (!parseMode(v, &options.preambleAnswer.mode))
                return usage("bad answer mode " + v);
        } else if (a == "--answer-string") {
            if (!parseMode(v, &options.readStringAnswer.mode))
                return usage("bad answer mode " + v);
        } else {
            return usage("unknown option " + a);
        }
    }
    options.paperDots = width;
    options.downloadQuiet = std::chrono::milliseconds(quietMs);
    options.preambleAnswer.lateMs = lateMs;
    options.readStringAnswer.lateMs = lateMs;

    if (mode == "decode") {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "mptest-printer: cannot read " << file << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        options.transport = sim::Transport::File;
        sim::Printer printer(options);
        printer.feed(bytes);
        printer.flush();
        return writeOutputs(printer, out) ? 0 : 1;
    }

    // The signals are taken by sigwait on this thread only; block them
    // before the reader thread exists so it inherits the mask.
    signal(SIGPIPE, SIG_IGN); // a reader of our stdout that went away is no reason to die
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<sim::PtyPrinter> line;
    if (mode == "serial") {
        auto serial = std::make_unique<sim::SerialPrinter>(options);
        if (!serial->ok()) {
            std::cerr << "mptest-printer: " << serial->error() << "\n";
            return 1;
        }
        if (!com.empty()) {
            std::string err;
            if (!serial->recordAs(com, &err)) {
                std::cerr << "mptest-printer: " << err << "\n";
                return 1;
            }
        }
        std::cout << "serial: " << serial->slavePath() << std::endl;
        line = std::move(serial);
    } else {
        if (root.empty())
            return usage("usb needs --root DIR");
        auto usb = std::make_unique<sim::UsbPrinter>(root, index, options);
        if (!usb->ok() || usb->devicePath().empty()) {
            std::cerr << "mptest-printer: cannot set up " << root << ": " << usb->error() << "\n";
            return 1;
        }
        std::cout << "usb: " << usb->devicePath() << std::endl;
        line = std::move(usb);
    }

    bool seenSender = false;
    auto closedSince = std::chrono::steady_clock::time_point::max();
    for (;;) {
        timespec tick{0, 100 * 1000 * 1000};
        const int sig = sigtimedwait(&signals, nullptr, &tick);
        if (sig == SIGUSR1) {
            line->flush();
            writeOutputs(line->printer(), out);
            continue;
        }
        if (sig == SIGINT || sig == SIGTERM)
            break;
        if (!exitOnClose)
            continue;
        // End of input: the sender closed the line and did not come back
        // within the quiet time (a font download closes and reopens it).
        const auto now = std::chrono::steady_clock::now();
        if (line->connected()) {
            seenSender = true;
            closedSince = std::chrono::steady_clock::time_point::max();
        } else if (seenSender) {
            if (closedSince == std::chrono::steady_clock::time_point::max())
                closedSince = now;
            else if (now - closedSince >= options.downloadQuiet)
                break;
        }
    }
    line->stop();
    return writeOutputs(line->printer(), out) ? 0 : 1;
}
