// Notices: what the platform must tell the user, on stderr and to the
// program's handler.
#include "platform/linux/notices.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

std::atomic<void (*)(const std::string&)> gNoticeHandler{nullptr};

} // namespace

void PlatNotice(const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
    if (auto handler = gNoticeHandler.load())
        handler(text);
}

void PlatSetNoticeHandler(void (*handler)(const std::string& text))
{
    gNoticeHandler.store(handler);
}
