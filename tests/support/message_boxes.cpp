// The message-box recorder (see message_boxes.h).
#include "support/message_boxes.h"

#include "platform/linux/testhooks.h"

namespace testsupport {

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

} // namespace testsupport
