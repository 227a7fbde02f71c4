// mptest-printer: the virtual KQ printer as a program. Decodes a captured
// byte stream, or stands at the far end of a serial or USB pseudo-terminal
// or of a TCP connection until it is told to end, and writes
// transcript.txt, paper.png, state.json.
// No Qt application is made here: the renderer makes the one it needs.
// However it ends (a signal, the sender gone, an error), it gives back the
// COM name it stood for and removes the device entries it made.
#include "sim/pty.h"
#include "sim/status.h"
#include "sim/tcp.h"

#include <QCommandLineParser>
#include <QStringList>

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kVersion = MPTEST_VERSION; // set once, in the project's CMake

const char* const kUsage =
    "usage:\n"
    "  mptest-printer decode FILE --out DIR [options]\n"
    "  mptest-printer serial [--as COMn] --out DIR [options]\n"
    "  mptest-printer usb --root DIR [--index N] --out DIR [options]\n"
    "                         (then run: mptest --device-root DIR)\n"
    "  mptest-printer tcp --listen ADDR:PORT --out DIR [options]\n"
    "                         (ADDR IPv4 or [IPv6]; port 0 picks a free port)\n"
    "options:\n"
    "  --width 384|576        paper width in dots (58 mm or 80 mm), default 384\n"
    "  --quiet MS             a download ends after MS ms of silence, default 2000\n"
    "  --answer-preamble MODE answer to 1C AA 0D: correct, wrong, short, late, silent\n"
    "  --answer-string MODE   answer to 1B 1D 00 02, same modes\n"
    "  --late MS              delay of a late answer, default 2000\n"
    "  --exit-on-close        end when the sender closes the line for good\n"
    "  --await-firmware       start in the firmware download state (an update over USB)\n"
    "  --as COMn              COM1 ... COM7, the names mptest offers\n"
    "  --status STATE         report STATE to DLE EOT 1 ... 4: paper-out, paper-low,\n"
    "                         cover-open, offline, cutter-error (repeat for more)\n"
    "  --status-file PATH     add the states in PATH, one a line (# starts a comment\n"
    "                         line), read at the start and again on SIGUSR2\n"
    "  --busy refuse|wait     tcp: a second client is reset at once (refuse, the\n"
    "                         default) or served when the first leaves (wait)\n"
    "  --drop-idle S          tcp: reset a connection left idle S seconds\n"
    "  --model N              the answer to GS I 1 (model ID), 0-255, default 0x20\n"
    "  --type N               the answer to GS I 2 (type ID bits), default 0x03:\n"
    "                         two-byte characters, autocutter; bits 4 and 7 are 0\n"
    "  --firmware-version N   the answer to GS I 3 (version ID), default 0x10\n"
    "  --version              print the version\n"
    "SIGUSR1 writes the outputs; SIGINT, SIGTERM, SIGHUP or SIGQUIT writes them and ends.\n";

int usage(const std::string& why)
{
    std::cerr << "mptest-printer: " << why << "; see --help\n";
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

// Decimal, or hexadecimal after 0x when `base` is 0.
bool parseInt(const std::string& s, int lo, int hi, int* out, int base = 10)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, base);
    if (s.empty() || *end || errno || v < lo || v > hi)
        return false;
    *out = int(v);
    return true;
}

// The conditions named in a status file, one a line; blank lines and lines
// starting with # are skipped. False with the reason for a file that cannot
// be read or names an unknown state.
bool readStatusFile(const std::string& path, unsigned* status, std::string* why)
{
    std::ifstream in(path);
    if (!in) {
        *why = "cannot read the status file " + path + ": " + std::strerror(errno);
        return false;
    }
    unsigned read = 0;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        line.erase(0, line.find_first_not_of(" \t\r"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (line.empty() || line[0] == '#')
            continue;
        const std::optional<unsigned> c = sim::statusCondition(line);
        if (!c) {
            *why = path + ":" + std::to_string(n) + ": unknown state \"" + line + "\"";
            return false;
        }
        read |= *c;
    }
    *status = read;
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

// Why the outputs could not be written into `dir`, found before a session
// rather than at its end; empty when they can.
std::string outputProblem(const std::string& dir)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return "cannot create the output folder " + dir + ": " + ec.message();
    if (!fs::is_directory(dir, ec))
        return "the output folder " + dir + " is not a folder";
    std::string probe = dir + "/.mptest-printer-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0)
        return "cannot write in the output folder " + dir + ": " + std::strerror(errno);
    close(fd);
    unlink(probe.c_str());
    return {};
}

int run(int argc, char** argv);

} // namespace

int main(int argc, char** argv)
{
    // A one-line error for whatever the library throws, never an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "mptest-printer: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "mptest-printer: unexpected error\n";
    }
    return 1;
}

namespace {

int run(int argc, char** argv)
{
    QCommandLineParser parser;
    // The value names are not shown: the usage text is ours.
    const auto option = [&](const char* name, bool takesValue = true) {
        parser.addOption(takesValue ? QCommandLineOption(name, QString(), "value") : QCommandLineOption(name));
    };
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
    for (const char* flag : {"version", "exit-on-close", "await-firmware"})
        option(flag, false);
    for (const char* name : {"out", "as", "root", "index", "width", "quiet", "late", "answer-preamble", "answer-string",
                             "status", "status-file", "listen", "busy", "drop-idle", "model", "type",
                             "firmware-version"})
        option(name);
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return usage("unknown option " + std::string(unknown.front().size() == 1 ? "-" : "--") +
                         unknown.front().toStdString());
        // "Missing value after '--out'."
        std::string why = parser.errorText().toStdString();
        if (!why.empty() && why.back() == '.')
            why.pop_back();
        if (!why.empty())
            why[0] = char(std::tolower(static_cast<unsigned char>(why[0])));
        return usage(why);
    }
    if (parser.isSet("help")) {
        std::cout << kUsage;
        return 0;
    }
    if (parser.isSet("version")) {
        std::cout << "mptest-printer " << kVersion << "\n";
        return 0;
    }
    const auto value = [&](const char* name) { return parser.value(name).toStdString(); };

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usage("no mode given");
    const std::string mode = positional.front().toStdString();
    if (mode != "decode" && mode != "serial" && mode != "usb" && mode != "tcp")
        return usage("unknown mode " + mode);
    std::string file;
    if (mode == "decode") {
        if (positional.size() < 2)
            return usage("decode needs a FILE");
        file = positional[1].toStdString();
    }
    if (positional.size() > (mode == "decode" ? 2 : 1))
        return usage("unexpected argument " + positional.back().toStdString());
    for (const auto& [name, only] : {std::pair{"as", "serial"}, {"root", "usb"}, {"index", "usb"}, {"listen", "tcp"},
                                     {"busy", "tcp"}, {"drop-idle", "tcp"}})
        if (parser.isSet(name) && mode != only)
            return usage(std::string("--") + name + " is for " + only + " only");

    const std::string out = parser.isSet("out") ? value("out") : ".";
    const std::string com = value("as");
    const std::string root = value("root");
    int index = 0, lateMs = 2000, quietMs = 2000, width = 384;
    const bool exitOnClose = parser.isSet("exit-on-close");
    sim::PrinterOptions options;
    options.awaitFirmware = parser.isSet("await-firmware");
    if (parser.isSet("as") && !sim::isComName(com))
        return usage("--as takes COM1 ... COM7, as mptest lists them, not \"" + com + "\"");
    if (parser.isSet("index") && !parseInt(value("index"), 0, 15, &index))
        return usage("bad --index " + value("index"));
    if (parser.isSet("width") && (!parseInt(value("width"), 8, 4096, &width) || (width != 384 && width != 576)))
        return usage("--width is 384 or 576");
    if (parser.isSet("quiet") && !parseInt(value("quiet"), 1, 3600000, &quietMs))
        return usage("bad --quiet " + value("quiet"));
    if (parser.isSet("late") && !parseInt(value("late"), 0, 3600000, &lateMs))
        return usage("bad --late " + value("late"));
    if (parser.isSet("answer-preamble") && !parseMode(value("answer-preamble"), &options.preambleAnswer.mode))
        return usage("bad --answer-preamble " + value("answer-preamble"));
    if (parser.isSet("answer-string") && !parseMode(value("answer-string"), &options.readStringAnswer.mode))
        return usage("bad --answer-string " + value("answer-string"));
    for (const auto& [name, field] : {std::pair{"model", &options.modelId}, {"type", &options.typeId},
                                      {"firmware-version", &options.versionId}}) {
        int id = 0;
        if (!parser.isSet(name))
            continue;
        if (!parseInt(value(name), 0, 255, &id, 0))
            return usage(std::string("--") + name + " takes a byte, 0-255 or 0x00-0xFF, not \"" + value(name) + "\"");
        *field = uint8_t(id);
    }
    // Bits 4 and 7 of a type ID are always 0: they tell it from a status byte.
    if (options.typeId & 0x90)
        return usage("--type " + value("type") + " sets bit 4 or 7, which a type ID keeps 0");
    sim::TcpOptions tcp;
    tcp.listen = value("listen");
    if (parser.isSet("busy")) {
        if (value("busy") != "refuse" && value("busy") != "wait")
            return usage("--busy is refuse or wait, not \"" + value("busy") + "\"");
        tcp.busy = value("busy") == "wait" ? sim::Busy::Wait : sim::Busy::Refuse;
    }
    int dropIdle = 0;
    if (parser.isSet("drop-idle") && !parseInt(value("drop-idle"), 1, 86400, &dropIdle))
        return usage("--drop-idle takes whole seconds, 1-86400, not \"" + value("drop-idle") + "\"");
    tcp.dropIdle = std::chrono::seconds(dropIdle);
    for (const QString& name : parser.values("status")) {
        const std::optional<unsigned> c = sim::statusCondition(name.toStdString());
        if (!c)
            return usage("bad --status " + name.toStdString());
        options.status |= *c;
    }
    // The file's conditions are added to those of --status, which stay.
    const unsigned fixedStatus = options.status;
    const std::string statusFile = value("status-file");
    if (!statusFile.empty()) {
        std::string why;
        unsigned fromFile = 0;
        if (!readStatusFile(statusFile, &fromFile, &why)) {
            std::cerr << "mptest-printer: " << why << "\n";
            return 1;
        }
        options.status |= fromFile;
    }
    options.paperDots = width;
    options.downloadQuiet = std::chrono::milliseconds(quietMs);
    options.preambleAnswer.lateMs = lateMs;
    options.readStringAnswer.lateMs = lateMs;
    options.keepReceived = 0; // only the tests read it back

    if (mode == "usb" && root.empty())
        return usage("usb needs --root DIR");
    if (mode == "tcp") {
        std::string host, why;
        uint16_t port = 0;
        if (tcp.listen.empty())
            return usage("tcp needs --listen ADDR:PORT");
        if (!sim::parseListenAddress(tcp.listen, &host, &port, &why))
            return usage(why);
    }
    if (const std::string why = outputProblem(out); !why.empty()) {
        std::cerr << "mptest-printer: " << why << "\n";
        return 1;
    }

    if (mode == "decode") {
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec)) {
            std::cerr << "mptest-printer: " << file << " is a folder, not a captured byte stream\n";
            return 1;
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "mptest-printer: cannot read " << file << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        options.transport = sim::Transport::File;
        sim::Printer printer(options);
        // In pieces, so that a capture of any size is decoded in little memory.
        std::vector<uint8_t> chunk(size_t(1) << 16);
        while (in.read(reinterpret_cast<char*>(chunk.data()), std::streamsize(chunk.size())) || in.gcount() > 0)
            printer.feed(std::span<const uint8_t>(chunk.data(), size_t(in.gcount())));
        if (in.bad()) {
            std::cerr << "mptest-printer: cannot read " << file << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        printer.flush();
        return writeOutputs(printer, out) ? 0 : 1;
    }

    // The signals are taken by sigwait on this thread only; block them
    // before the reader thread exists so it inherits the mask.
    signal(SIGPIPE, SIG_IGN); // a reader of our stdout that went away is no reason to die
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGHUP);  // the terminal it ran in was closed
    sigaddset(&handled, SIGQUIT); // Ctrl-backslash
    sigaddset(&handled, SIGUSR1);
    sigaddset(&handled, SIGUSR2); // reread the status file
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);

    std::unique_ptr<sim::LinePrinter> line;
    if (mode == "serial") {
        auto serial = std::make_unique<sim::SerialPrinter>(options);
        if (!serial->ok()) {
            std::cerr << "mptest-printer: " << serial->error() << "\n";
            return 1;
        }
        if (!com.empty()) {
            std::string err;
            unsigned long displaced = 0;
            if (!serial->recordAs(com, &err, &displaced)) {
                std::cerr << "mptest-printer: " << err << "\n";
                return 1;
            }
            if (displaced != 0)
                std::cerr << "mptest-printer: warning: " << com << " belonged to the printer running as process "
                          << displaced << "; it is this printer's until this one ends, then that one's again\n";
        }
        std::cout << "serial: " << serial->slavePath() << std::endl;
        line = std::move(serial);
    } else if (mode == "tcp") {
        auto net = std::make_unique<sim::TcpPrinter>(tcp, options);
        if (!net->ok()) {
            std::cerr << "mptest-printer: " << net->error() << "\n";
            return 1;
        }
        std::cout << "tcp: " << net->address() << std::endl;
        line = std::move(net);
    } else {
        auto usb = std::make_unique<sim::UsbPrinter>(root, index, options);
        if (!usb->ok() || usb->devicePath().empty()) {
            std::cerr << "mptest-printer: cannot set up " << root << ": " << usb->error() << "\n";
            return 1;
        }
        std::cout << "usb: " << usb->devicePath() << std::endl;
        std::cout << "mptest reaches it with: mptest --device-root " << root << std::endl;
        line = std::move(usb);
    }

    auto closedSince = std::chrono::steady_clock::time_point::max();
    for (;;) {
        timespec tick{0, 100 * 1000 * 1000};
        const int sig = sigtimedwait(&handled, nullptr, &tick);
        if (sig == SIGUSR1) {
            line->flush();
            writeOutputs(line->printer(), out);
        }
        if (sig == SIGUSR2 && !statusFile.empty()) {
            // A file that cannot be read or names an unknown state changes nothing.
            unsigned status = 0;
            std::string why;
            if (readStatusFile(statusFile, &status, &why))
                line->printer().setStatus(fixedStatus | status);
            else
                std::cerr << "mptest-printer: " << why << "\n";
        }
        if (sig == SIGINT || sig == SIGTERM || sig == SIGHUP || sig == SIGQUIT)
            break;
        if (!exitOnClose)
            continue;
        // End of input: the sender closed the line and did not come back
        // within the quiet time (a font download closes and reopens it).
        const auto now = std::chrono::steady_clock::now();
        if (line->connected() || !line->everConnected()) {
            closedSince = std::chrono::steady_clock::time_point::max();
        } else if (closedSince == std::chrono::steady_clock::time_point::max()) {
            closedSince = now;
        } else if (now - closedSince >= options.downloadQuiet) {
            break;
        }
    }
    line->stop();
    return writeOutputs(line->printer(), out) ? 0 : 1;
}

} // namespace
