// Records every message box instead of showing it, for the life of the
// recorder, without a running user interface (the window tests use the test
// API's recorder, which needs one).
#pragma once

#include "platform/win32.h"

#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type;
    bool ownerless;
};

class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
    std::vector<MessageBoxCall> calls() const;
    std::vector<std::string> texts() const;

private:
    mutable std::mutex mutex_;
    std::vector<MessageBoxCall> calls_;
};

} // namespace testsupport
