// Messages between threads: the calls other threads wait on (SendMessageA
// and everything else a worker asks of a window), their delivery on the
// user-interface thread, PostMessageA, PeekMessageA and
// MsgWaitForMultipleObjects.
#include "platform/linux/handle_watch.h"
#include "platform/qt/qtwin.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One call another thread waits on. Lives on the waiting thread's stack:
// once `done` is set nobody else touches it, and the waiter is woken through
// gCallsDone, which outlives every call.
struct CrossCall {
    CrossCall* next = nullptr; // these four: gPlatQtLock
    HWND target = nullptr;
    void (*fn)(void*) = nullptr;
    void* ctx = nullptr;
    bool done = false; // these two: gDoneLock
    bool ran = false;
};

// The queue of calls other threads wait on, and how the user-interface
// thread learns of a new one; guarded by gPlatQtLock.
CrossCall* gQueueHead = nullptr;
CrossCall* gQueueTail = nullptr;
int gQueueLength = 0;
bool gPumpPosted = false; // a wake-up event is on its way to the pump
// The user-interface thread looks at the queue again before it sleeps or goes
// back to its event loop (it lingers, or waits in MsgWaitForMultipleObjects):
// a call queued now only needs gUiWake, not a posted event.
bool gUiListening = false;
std::condition_variable gUiWake; // a call queued, or a watched handle signalled

// Guards the calls' `done` and `ran`, apart from the queue, so a caller woken
// when its call is done does not run into the user-interface thread taking
// the registry lock for its next wait. Taken last: alone, or under the
// registry lock.
std::mutex gDoneLock;
std::condition_variable gCallsDone;
// Both condition variables are notified after the lock is let go, so the
// thread woken does not at once sleep again on the lock.

const QEvent::Type kPumpEvent = static_cast<QEvent::Type>(QEvent::User + 0x3a1);
const QEvent::Type kPostedEvent = static_cast<QEvent::Type>(QEvent::User + 0x3a2);

// A message PostMessageA queued for the user-interface thread's event loop.
struct PostedMessage : QEvent {
    PostedMessage(HWND h, UINT m, WPARAM w, LPARAM l)
        : QEvent(kPostedEvent), window(h), message(m), wParam(w), lParam(l)
    {
    }
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// Posted messages that came while a wait let only worker boxes run; they are
// queued again, in order, when it ends. User-interface thread only.
std::vector<std::unique_ptr<PostedMessage>> gHeldPosts;

// Qt hands a posted event to the user-interface thread under its own locks,
// which ThreadSanitizer cannot see (Debian's Qt is not instrumented); the
// pump event carries that hand-over to it explicitly.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
void TsanAcquire(void* address) { __tsan_acquire(address); }
void TsanRelease(void* address) { __tsan_release(address); }
#else
void TsanAcquire(void*) {}
void TsanRelease(void*) {}
#endif

void PostPumpEvent();

// A worker that reports per block sends its next report a few microseconds
// after the answer to its last. Waiting for it here, instead of going round
// the event loop for each (a posted event and a wake-up of the loop per
// report), brings a report's cost down to a bare hand-over between two
// threads. Input, paints and timers wait meanwhile, so a turn of the pump,
// its deliveries included, ends by kPumpTurn: half a frame, and a call's own
// handler may add to it.
constexpr auto kPumpTurn = std::chrono::milliseconds(8);
// A call queued this soon after the last turn's deliveries is a caller's
// next block.
constexpr auto kBurstGap = std::chrono::milliseconds(1);

void LingerForSends(Clock::time_point end)
{
    std::unique_lock<std::mutex> g(gPlatQtLock);
    for (;;) {
        gUiListening = true; // again after each delivery: a handler's own wait clears it
        if (!gUiWake.wait_until(g, end, [] { return gQueueHead != nullptr; }) || Clock::now() >= end)
            break;
        g.unlock();
        PlatQtDeliverSends();
        g.lock();
    }
    gUiListening = false;
    // Out of time with calls still coming: the event loop delivers the next.
    const bool post = gQueueHead && !gPumpPosted;
    if (post)
        gPumpPosted = true;
    g.unlock();
    if (post)
        PostPumpEvent();
}

// Receives the wake-up events and delivers the queued calls.
class Pump : public QObject {
public:
    bool event(QEvent* e) override
    {
        TsanAcquire(e);
        if (e->type() == kPostedEvent) {
            auto* post = static_cast<PostedMessage*>(e);
            if (PlatQtServingWorkerBoxes())
                gHeldPosts.push_back(std::make_unique<PostedMessage>(post->window, post->message, post->wParam, post->lParam));
            else
                PlatQtDispatch(post->window, post->message, post->wParam, post->lParam);
            return true;
        }
        if (e->type() != kPumpEvent)
            return QObject::event(e);
        const auto start = Clock::now();
        {
            std::lock_guard<std::mutex> g(gPlatQtLock);
            gPumpPosted = false;
        }
        // Only a caller that came back at once is worth waiting for: one that
        // reports at a screen's pace would cost a second wake-up each time.
        const bool burst = start - lastTurnEnd_ < kBurstGap;
        const int delivered = PlatQtDeliverSends();
        if (delivered > 0 && burst)
            LingerForSends(start + kPumpTurn);
        if (delivered > 0)
            lastTurnEnd_ = Clock::now();
        return true;
    }

private:
    Clock::time_point lastTurnEnd_{};
};
Pump* gPump = nullptr; // set once, before the user-interface thread is known

void PostPumpEvent()
{
    QEvent* wake = new QEvent(kPumpEvent);
    TsanRelease(wake);
    QCoreApplication::postEvent(gPump, wake);
}

bool UnlinkLocked(CrossCall* call)
{
    CrossCall* prev = nullptr;
    for (CrossCall* c = gQueueHead; c; prev = c, c = c->next) {
        if (c != call)
            continue;
        (prev ? prev->next : gQueueHead) = c->next;
        if (gQueueTail == c)
            gQueueTail = prev;
        --gQueueLength;
        return true;
    }
    return false;
}

} // namespace

void PlatQtStartPump()
{
    gPump = new Pump;
}

void PlatQtAbandonSendsLocked(HWND window)
{
    for (CrossCall* c = gQueueHead; c;) {
        CrossCall* next = c->next;
        if (c->target == window) {
            UnlinkLocked(c);
            std::lock_guard<std::mutex> d(gDoneLock);
            c->done = true;
        }
        c = next;
    }
    gCallsDone.notify_all();
}

bool PlatQtRunOnUi(HWND target, void (*fn)(void*), void* ctx)
{
    if (PlatQtOnUiThread()) {
        if (target && !PlatQtFind(target))
            return false;
        fn(ctx);
        return true;
    }
    CrossCall call;
    call.target = target;
    call.fn = fn;
    call.ctx = ctx;
    std::unique_lock<std::mutex> g(gPlatQtLock);
    if (!PlatQtUiReady() || (target && !PlatQtIsWindowLocked(target)))
        return false;
    (gQueueTail ? gQueueTail->next : gQueueHead) = &call;
    gQueueTail = &call;
    ++gQueueLength;
    const bool wake = gUiListening;
    const bool post = !wake && !gPumpPosted;
    if (post)
        gPumpPosted = true;
    g.unlock();
    if (wake)
        gUiWake.notify_all(); // other threads' MsgWaitForMultipleObjects may wait on it too
    if (post)
        PostPumpEvent();
    std::unique_lock<std::mutex> d(gDoneLock);
    gCallsDone.wait(d, [&] { return call.done; });
    return call.ran;
}

int PlatQtDeliverSends()
{
    // Only the calls queued now: each caller has one at a time, so this ends
    // however fast the callers queue their next.
    int queued;
    {
        std::lock_guard<std::mutex> g(gPlatQtLock);
        queued = gQueueLength;
    }
    int count = 0;
    for (; count < queued; ++count) {
        CrossCall* call;
        {
            std::lock_guard<std::mutex> g(gPlatQtLock);
            call = gQueueHead;
            if (!call)
                break; // abandoned meanwhile
            UnlinkLocked(call);
        }
        const bool live = !call->target || PlatQtFind(call->target);
        if (live)
            call->fn(call->ctx);
        {
            std::lock_guard<std::mutex> d(gDoneLock);
            call->ran = live;
            call->done = true;
        }
        gCallsDone.notify_all();
    }
    return count;
}

int PlatQtPendingSends()
{
    std::lock_guard<std::mutex> g(gPlatQtLock);
    return gQueueLength;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (PlatQtOnUiThread())
        return PlatQtDispatch(window, message, wParam, lParam);
    LRESULT result = 0;
    if (!PlatQtOnUi(window, [&] { result = PlatQtDispatch(window, message, wParam, lParam); }))
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return result;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (PlatQtOnUiThread())
        return PlatQtDispatch(GetDlgItem(dialog, id), message, wParam, lParam);
    LRESULT result = 0;
    PlatQtOnUi(dialog, [&] { result = PlatQtDispatch(GetDlgItem(dialog, id), message, wParam, lParam); });
    return result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!IsWindow(window) || !PlatQtUiReady()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // Delivered later by the user-interface thread's event loop, if the
    // window still exists then.
    auto* post = new PostedMessage(window, message, wParam, lParam);
    TsanRelease(post);
    QCoreApplication::postEvent(gPump, post);
    return TRUE;
}

// Qt owns the message queue, so this never hands a message back. It
// delivers the messages other threads are waiting on (PM_QS_SENDMESSAGE);
// asked to remove messages of every kind, it runs the pending events
// (paint, input, timers) instead, which is what a Windows caller's
// dispatch loop would do. Returns FALSE.
BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT removeMsg)
{
    if (msg)
        *msg = MSG{};
    if (!PlatQtOnUiThread())
        return FALSE;
    if ((removeMsg & PM_REMOVE) && !(removeMsg & PM_QS_SENDMESSAGE))
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    else
        PlatQtDeliverSends();
    return FALSE;
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;
}

LRESULT DispatchMessageA(const MSG*)
{
    return 0;
}

// Qt moves the focus on Tab and the arrows itself; no message reaches a caller.
BOOL IsDialogMessageA(HWND, LPMSG)
{
    return FALSE;
}

// Waits until one of `handles` is signalled, a message from another thread
// is waiting (QS_SENDMESSAGE), or the
// time is up. Nothing is polled: setting an event or ending a thread wakes
// the wait, as a sent message does. Messages give WAIT_OBJECT_0 + count.
// While a box a worker raised is open, the wait runs the events that box
// needs (only it takes input) a frame at a time and delivers sent messages
// itself, so the box can be answered and the worker go on, as on Windows
// where it runs on the worker's own thread.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask)
{
    if ((count && !handles) || (waitAll && count > 1)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const bool onUi = PlatQtOnUiThread();
    const bool wantSends = onUi && (wakeMask & QS_SENDMESSAGE);
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    bool signalled = false; // guarded by gPlatQtLock
    plat::HandleWatch watch(handles, count, [&] {
        std::lock_guard<std::mutex> g(gPlatQtLock);
        signalled = true;
        gUiWake.notify_all();
    });
    for (;;) {
        {
            std::lock_guard<std::mutex> g(gPlatQtLock);
            signalled = false;
        }
        for (DWORD i = 0; i < count; ++i)
            if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0)
                return WAIT_OBJECT_0 + i;
        std::unique_lock<std::mutex> g(gPlatQtLock);
        if (wantSends && gQueueHead) {
            // Make sure the calls get delivered even if the caller returns
            // to the event loop instead of calling PeekMessageA.
            bool post = !gPumpPosted;
            gPumpPosted = true;
            g.unlock();
            if (post)
                PostPumpEvent();
            return WAIT_OBJECT_0 + count;
        }
        if (wantSends && PlatQtWorkerBoxesOpen()) {
            const auto now = Clock::now();
            if (milliseconds != INFINITE && now >= deadline)
                return WAIT_TIMEOUT;
            auto until = now + std::chrono::milliseconds(16);
            if (milliseconds != INFINITE && deadline < until)
                until = deadline;
            g.unlock();
            PlatQtServeWorkerBoxes(until);
            for (std::unique_ptr<PostedMessage>& post : std::exchange(gHeldPosts, {}))
                QCoreApplication::postEvent(gPump, post.release());
            continue;
        }
        const auto ready = [&] { return signalled || (wantSends && gQueueHead); };
        if (wantSends)
            gUiListening = true;
        bool woke;
        if (milliseconds == INFINITE) {
            gUiWake.wait(g, ready);
            woke = true;
        } else if (Clock::now() >= deadline) {
            woke = ready(); // no sleep for the timer's slack on a look
        } else {
            woke = gUiWake.wait_until(g, deadline, ready);
        }
        if (wantSends)
            gUiListening = false;
        if (!woke)
            return WAIT_TIMEOUT;
    }
}
