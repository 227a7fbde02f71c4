// Helpers shared by the port tests (see port_test_support.h).
#include "port_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace porttest {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mptest-port-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::mkdirs(const std::string& relative) const
{
    std::string full = path_ + "/" + relative;
    std::filesystem::create_directories(full);
    return full;
}

MessageBoxRecorder::MessageBoxRecorder()
{
    PlatSetMessageBoxHook([this](HWND owner, const char* text, const char* caption, UINT type) {
        std::lock_guard lock(mutex_);
        calls_.push_back({text ? text : "", caption ? caption : "", type, owner == nullptr});
        return IDOK;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    PlatSetMessageBoxHook(nullptr);
}

std::vector<MessageBoxCall> MessageBoxRecorder::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> MessageBoxRecorder::texts() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& call : calls_)
        result.push_back(call.text);
    return result;
}

} // namespace porttest
