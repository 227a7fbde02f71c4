// The virtual printer's serial and USB transports: a pseudo-terminal whose
// slave side stands in for a COM port or for /dev/usb/lpN, read by a thread
// on the master side that feeds a sim::Printer and writes its answers back.
#pragma once

#include "sim/printer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// One chunk as the master side read it, with the line settings seen then.
struct Chunk {
    size_t size = 0;
    LineInfo line;
};

class PtyPrinter {
public:
    virtual ~PtyPrinter();
    PtyPrinter(const PtyPrinter&) = delete;
    PtyPrinter& operator=(const PtyPrinter&) = delete;

    // False when the pseudo-terminal could not be made; error() says why.
    bool ok() const { return master_ >= 0; }
    const std::string& error() const { return error_; }
    // The slave side, e.g. "/dev/pts/5".
    const std::string& slavePath() const { return slave_path_; }

    Printer& printer() { return printer_; }
    const Printer& printer() const { return printer_; }

    // Stops reading the master side, so the sender's writes stall once the
    // line's buffer is full; resume with holdLine(false).
    void holdLine(bool hold);
    // The line settings the sender gave the slave side, now.
    LineInfo currentLine() const;
    // The first kMaxChunks chunks read.
    static constexpr size_t kMaxChunks = 16384;
    std::vector<Chunk> chunks() const;
    std::vector<uint8_t> received() const { return printer_.received(); }
    // Whether a sender has the slave side open.
    bool connected() const { return connected_.load(); }
    // Whether a sender has had the slave side open at any time, however briefly.
    bool everConnected() const { return everConnected_.load(); }

    // Writes bytes to the sender at once (besides the printer's answers).
    bool sendToHost(const std::vector<uint8_t>& bytes);

    bool waitForBytes(uint64_t count, std::chrono::milliseconds timeout) const
    {
        return printer_.waitForBytes(count, timeout);
    }
    bool waitForLine(const std::string& needle, std::chrono::milliseconds timeout) const
    {
        return printer_.waitForLine(needle, timeout);
    }
    bool waitFor(const std::function<bool(const PrinterState&)>& predicate, std::chrono::milliseconds timeout) const
    {
        return printer_.waitFor(predicate, timeout);
    }
    // Waits until the sender has the slave side open (or closed, `open` false).
    bool waitForConnected(bool open, std::chrono::milliseconds timeout) const;

    // Ends an open download and logs an incomplete command; keeps running.
    void flush() { printer_.flush(); }
    // Stops the reader thread and flushes the printer. Idempotent.
    void stop();

protected:
    PtyPrinter(PrinterOptions options, Transport transport);
    void setError(std::string why) { error_ = std::move(why); }
    bool openPty();
    void start();

private:
    void run();
    void readAvailable(Clock::time_point now);
    void writeDue(Clock::time_point now);
    Clock::time_point nextDue() const;

    Printer printer_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    std::string slave_path_;
    std::string error_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hold_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> everConnected_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable connected_cv_;
    std::vector<Chunk> chunks_;
    struct Pending {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
    };
    std::deque<Pending> outgoing_; // answers waiting for their time
};

// A COM port's far end.
class SerialPrinter : public PtyPrinter {
public:
    explicit SerialPrinter(PrinterOptions options = {});
    // Gives back the COM name it stands for, if any.
    ~SerialPrinter() override;
    // Maps `com` to slavePath() in the per-user serial store for as long as
    // this printer lives: the claim names this process, and when the printer
    // ends (or, killed, once a later rewrite finds it gone) the name opens
    // what it opened before. `com` is one of the names mptest's port list
    // offers (isComName). `displaced` gets the process number of another
    // running printer whose claim on `com` this one now hides, or 0.
    bool recordAs(const std::string& com, std::string* error = nullptr, unsigned long* displaced = nullptr);
    // Ends the claim recordAs made. Idempotent.
    void releaseName();

private:
    std::string com_;
};

// Whether `name` is a COM port as mptest offers them: "COM1" ... "COM7".
bool isComName(const std::string& name);

// A USB printer as the usblp driver shows it, under a device root:
// ROOT/sys/class/usbmisc/lpN/{dev,device/ieee1284_id} and the symbolic
// link ROOT/dev/usb/lpN to the slave side. It ends by removing what it made
// (the folders on the way included), and only that.
class UsbPrinter : public PtyPrinter {
public:
    static constexpr const char* kDeviceId = "MFG:KQ;CMD:ESC/POS;MDL:KQ58;CLS:PRINTER;";

    UsbPrinter(const std::string& root, int index, PrinterOptions options = {});
    // Stops and removes the entries it made.
    ~UsbPrinter() override;
    const std::string& devicePath() const { return device_path_; }

private:
    void removeMade();

    std::string root_;
    int index_;
    std::string device_path_;
    std::vector<std::string> made_; // the files and folders it made, in the order made
};

} // namespace sim
