// The message-box hook (platform/message_box_hook.h): swapped under a lock,
// called outside it.
#include "platform/message_box_hook.h"

#include <memory>
#include <mutex>

namespace {

std::mutex gHookLock;
std::shared_ptr<const PlatMessageBoxHook> gMessageBoxHook; // guarded by gHookLock

} // namespace

void PlatSetMessageBoxHook(PlatMessageBoxHook hook)
{
    auto next = hook ? std::make_shared<const PlatMessageBoxHook>(std::move(hook)) : nullptr;
    std::lock_guard<std::mutex> g(gHookLock);
    gMessageBoxHook = std::move(next);
}

bool PlatMessageBoxHooked(HWND owner, const char* text, const char* caption, UINT type, int& answer)
{
    std::shared_ptr<const PlatMessageBoxHook> hook;
    {
        std::lock_guard<std::mutex> g(gHookLock);
        hook = gMessageBoxHook;
    }
    // A hook replaced meanwhile still answers this call: the copy keeps it alive.
    if (!hook)
        return false;
    answer = (*hook)(owner, text, caption, type);
    return true;
}
