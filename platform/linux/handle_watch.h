// For a wait that waits on handles and on something else at once (the window
// layer's MsgWaitForMultipleObjects): a call-back whenever one of the handles
// may have become signalled, so such a wait sleeps instead of polling.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <memory>
#include <vector>

namespace plat {

class HandleWatch {
public:
    // Calls `wake` from the thread that sets one of the events or ends one of
    // the threads in `handles`, until the watch is destroyed. Handles of
    // other kinds are not watched. `wake` must not block.
    HandleWatch(const HANDLE* handles, DWORD count, std::function<void()> wake);
    ~HandleWatch();
    HandleWatch(const HandleWatch&) = delete;
    HandleWatch& operator=(const HandleWatch&) = delete;

private:
    std::function<void()> wake_;
    std::vector<std::shared_ptr<void>> watched_;
};

} // namespace plat
