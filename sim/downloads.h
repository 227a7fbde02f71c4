// The printer's downloads (firmware, fonts). A session's length and SHA-256
// cover every byte it took; its bytes are kept for its file beside
// state.json only up to a budget, so that a session of any length holds
// bounded memory. A session is listed once its first byte has arrived.
#pragma once

#include "sim/printer.h"

#include <QCryptographicHash>

#include <deque>

namespace sim {

class Downloads {
public:
    // Bytes kept for the files, across sessions: well above the largest
    // file mptest sends (5 MiB). The oldest sessions' bytes go first; a
    // session larger than this keeps its first bytes.
    static constexpr size_t kMaxKeptBytes = size_t(16) << 20;

    // `list` is where the sessions are listed (the printer's state).
    explicit Downloads(std::vector<DownloadSession>& list) : list_(list) {}

    void start(DownloadKind kind, unsigned baud);
    bool active() const { return active_; }
    bool hasData() const { return active_ && listed_; }
    Clock::time_point lastData() const { return lastData_; }
    void add(std::span<const uint8_t> bytes, Clock::time_point now);
    // Ends the session; the listed session, or nullptr when no byte came.
    const DownloadSession* end();
    // The kept bytes of list entry `index`.
    std::span<const uint8_t> bytes(size_t index) const;
    void clear();

private:
    void dropOldData();

    std::vector<DownloadSession>& list_;
    std::deque<std::vector<uint8_t>> data_; // beside list_, entry for entry
    size_t keptBytes_ = 0;
    uint64_t sessions_ = 0; // every session listed, for the file names
    bool active_ = false;
    bool listed_ = false;
    DownloadKind kind_ = DownloadKind::Firmware;
    unsigned baud_ = 0;
    Clock::time_point lastData_{};
    QCryptographicHash hash_{QCryptographicHash::Sha256};
};

} // namespace sim
