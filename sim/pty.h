// The virtual printer's serial and USB transports: a pseudo-terminal whose
// slave side stands in for a COM port or for /dev/usb/lpN, read by a thread
// on the master side that feeds a sim::Printer and writes its answers back.
#pragma once

#include "sim/line.h"

#include <string>
#include <vector>

namespace sim {

class PtyPrinter : public LinePrinter {
public:
    ~PtyPrinter() override;

    // False when the pseudo-terminal could not be made; error() says why.
    bool ok() const { return master_ >= 0; }
    // The slave side, e.g. "/dev/pts/5".
    const std::string& slavePath() const { return slave_path_; }
    // The line settings the sender gave the slave side, now.
    LineInfo currentLine() const;

protected:
    PtyPrinter(PrinterOptions options, Transport transport);
    bool openPty();

private:
    void addWaits(std::vector<pollfd>& fds) override;
    void serve(const std::vector<pollfd>& fds, Clock::time_point now) override;
    ssize_t writeLine(const uint8_t* bytes, size_t size) override;
    void readRemaining(Clock::time_point now) override;
    LineInfo lineInfo() const override { return currentLine(); }

    // Reads the opens and closes of the slave side; true when its last
    // opener closed it since the previous look.
    bool lastOpenerLeft();

    int master_ = -1;
    std::string slave_path_;
    // inotify on the slave side: a sender that closes the line and the next
    // that opens it a moment later are told apart even when the hang-up
    // lasted too short for the master to show it.
    int watch_ = -1;
    int openers_ = 0;
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
