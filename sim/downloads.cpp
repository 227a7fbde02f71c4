// The printer's downloads: running digests and the bytes kept for the files.
#include "sim/downloads.h"

#include <algorithm>

namespace sim {

void Downloads::start(DownloadKind kind, unsigned baud)
{
    active_ = true;
    listed_ = false;
    kind_ = kind;
    baud_ = baud;
    hash_.reset();
}

void Downloads::add(std::span<const uint8_t> bytes, Clock::time_point now)
{
    if (!active_ || bytes.empty())
        return;
    if (!listed_) {
        listed_ = true;
        ++sessions_;
        DownloadSession s;
        s.kind = kind_;
        s.baud = baud_;
        s.file = "download-" + std::to_string(sessions_) +
                 (kind_ == DownloadKind::Font ? "-font.bin" : "-firmware.bin");
        list_.push_back(std::move(s));
        data_.emplace_back();
        if (list_.size() > PrinterState::kMaxListed) {
            keptBytes_ -= data_.front().size();
            list_.erase(list_.begin());
            data_.pop_front();
        }
    }
    hash_.addData(QByteArrayView(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    DownloadSession& s = list_.back();
    s.length += bytes.size();
    std::vector<uint8_t>& kept = data_.back();
    const size_t take = std::min(bytes.size(), kMaxKeptBytes - kept.size());
    kept.insert(kept.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(take));
    keptBytes_ += take;
    s.kept = kept.size();
    dropOldData();
    lastData_ = now;
}

// Makes room for the current session by dropping the oldest sessions'
// bytes (their files are no longer written).
void Downloads::dropOldData()
{
    for (size_t i = 0; keptBytes_ > kMaxKeptBytes && i + 1 < data_.size(); ++i) {
        if (data_[i].empty())
            continue;
        keptBytes_ -= data_[i].size();
        data_[i] = std::vector<uint8_t>(); // frees it, as "= {}" would not
        list_[i].kept = 0;
        list_[i].file.clear();
    }
}

const DownloadSession* Downloads::end()
{
    if (!active_)
        return nullptr;
    active_ = false;
    if (!listed_)
        return nullptr;
    DownloadSession& s = list_.back();
    s.open = false;
    s.sha256 = hash_.result().toHex().toStdString();
    return &s;
}

std::span<const uint8_t> Downloads::bytes(size_t index) const
{
    return index < data_.size() ? std::span<const uint8_t>(data_[index]) : std::span<const uint8_t>();
}

void Downloads::clear()
{
    list_.clear();
    data_.clear();
    keptBytes_ = 0;
    sessions_ = 0;
    active_ = false;
    listed_ = false;
    hash_.reset();
}

} // namespace sim
