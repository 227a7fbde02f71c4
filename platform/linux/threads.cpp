// Threads, events, waits, pauses and critical sections on POSIX threads,
// plus the small memory and library calls that go with them.
#include "platform/linux/handle_watch.h"
#include "platform/linux/kernel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits.h>
#include <malloc.h>
#include <new>
#include <pthread.h>
#include <thread>

using plat::Fail;

namespace {

// Linux threads get at least this much stack: the program asks for 32 KiB,
// which leaves too little room for the C library on Linux.
constexpr size_t kMinStack = 64 * 1024;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kSanitizerStack = 1024 * 1024; // sanitizers need much more
#else
constexpr size_t kSanitizerStack = 0;
#endif

std::atomic<DWORD> gNextThreadId{1};

// glibc raises the size from which a block gets a mapping of its own to the
// largest such block freed (up to 32 MiB), and from then on the megabytes of
// a file send or a full receive view stay in the heap once freed. A fixed
// size, which also ends that raising, gives every large block back.
[[maybe_unused]] const int gLargeBlocksReturned = mallopt(M_MMAP_THRESHOLD, 256 * 1024);

struct ThreadStart {
    LPTHREAD_START_ROUTINE start;
    LPVOID param;
    std::shared_ptr<plat::ThreadState> state;
};

void* ThreadMain(void* arg)
{
    std::unique_ptr<ThreadStart> ts(static_cast<ThreadStart*>(arg));
    DWORD code = ts->start(ts->param);
    {
        std::lock_guard<std::mutex> g(ts->state->m);
        ts->state->done = true;
        ts->state->exitCode = code;
        plat::CallWakes(ts->state->wakes);
    }
    ts->state->cv.notify_all();
    return nullptr;
}

// Waits on a condition with a Windows time-out (scaled as Sleep is); true
// when `ready` held. A zero time-out only looks: a wait on a deadline already
// passed still sleeps for the kernel's timer slack, some 50-100 us, which a
// loop that polls a handle between reports pays every turn.
template <class Pred>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, DWORD ms, Pred ready)
{
    if (ms == 0)
        return ready();
    if (ms == INFINITE) {
        cv.wait(lk, ready);
        return true;
    }
    return cv.wait_for(lk, plat::ScaledMs(ms), ready);
}

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID param,
                    DWORD creationFlags, LPDWORD threadId)
{
    if (start == nullptr || creationFlags != 0) {
        // The program creates its threads running, with no flags; suspended
        // creation and the stack-reservation flag are refused.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto obj = std::make_shared<plat::ThreadObject>();
    auto* ts = new ThreadStart{start, param, obj->state};

    size_t stack = std::max<size_t>({stackSize, kMinStack, kSanitizerStack, static_cast<size_t>(PTHREAD_STACK_MIN)});
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    bool sized = stackSize != 0 && pthread_attr_setstacksize(&attr, stack) == 0;
    pthread_t tid;
    int rc = pthread_create(&tid, &attr, ThreadMain, ts);
    if (rc != 0 && sized) {
        // The C library may need more than asked (thread-local storage): fall
        // back to its default size rather than fail.
        pthread_attr_destroy(&attr);
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        rc = pthread_create(&tid, &attr, ThreadMain, ts);
    }
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete ts;
        SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : plat::ErrorFromErrno(rc));
        return nullptr;
    }
    if (threadId != nullptr)
        *threadId = gNextThreadId.fetch_add(1);
    // The thread runs detached; the handle only watches its state and may be
    // closed at any time.
    return plat::AddHandle(std::move(obj));
}

BOOL SetThreadPriority(HANDLE thread, int priority)
{
    auto obj = plat::LookupHandle(thread);
    if (!obj)
        return FALSE;
    if (obj->kind != plat::ObjKind::Thread)
        return Fail(ERROR_INVALID_HANDLE);
    // Normal priority is what every thread has already; others are accepted
    // in the range Windows knows and not applied (no privilege to raise).
    if (priority < -15 || priority > 15)
        return Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(plat::ScaledMs(milliseconds));
}

DWORD GetTickCount()
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(plat::Clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(static_cast<uint64_t>(ms)); // wraps as Windows' does
}

void GetLocalTime(LPSYSTEMTIME time)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(ms);
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    auto obj = plat::LookupHandle(object);
    if (!obj)
        return WAIT_FAILED;
    switch (obj->kind) {
    case plat::ObjKind::Thread: {
        auto& st = *static_cast<plat::ThreadObject&>(*obj).state;
        std::unique_lock<std::mutex> lk(st.m);
        return WaitFor(st.cv, lk, milliseconds, [&] { return st.done; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    case plat::ObjKind::Event: {
        auto& ev = static_cast<plat::EventObject&>(*obj);
        std::unique_lock<std::mutex> lk(ev.m);
        if (!WaitFor(ev.cv, lk, milliseconds, [&] { return ev.signaled; }))
            return WAIT_TIMEOUT;
        if (!ev.manualReset)
            ev.signaled = false; // an auto-reset event releases one waiter
        return WAIT_OBJECT_0;
    }
    case plat::ObjKind::File:
        break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr || waitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    // Sleeps until one of the handles may have become signalled, then looks
    // at each in order, as Windows picks the lowest index.
    std::mutex m;
    std::condition_variable cv;
    bool woken = false;
    const plat::HandleWatch watch(handles, count, [&] {
        std::lock_guard<std::mutex> g(m);
        woken = true;
        cv.notify_one();
    });
    const auto deadline = plat::Clock::now() + plat::ScaledMs(milliseconds);
    for (;;) {
        for (DWORD i = 0; i < count; ++i) {
            const DWORD r = WaitForSingleObject(handles[i], 0);
            if (r != WAIT_TIMEOUT)
                return r == WAIT_OBJECT_0 ? WAIT_OBJECT_0 + i : r;
        }
        std::unique_lock<std::mutex> lk(m);
        if (milliseconds == INFINITE)
            cv.wait(lk, [&] { return woken; });
        else if (!cv.wait_until(lk, deadline, [&] { return woken; }))
            return WAIT_TIMEOUT;
        woken = false;
    }
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    if (name != nullptr && *name != '\0') {
        // Named events are shared between processes on Windows; nothing here needs them.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return plat::AddHandle(std::make_shared<plat::EventObject>(manualReset != FALSE, initialState != FALSE));
}

static BOOL SetEventState(HANDLE event, bool state)
{
    auto obj = plat::LookupHandle(event);
    if (!obj)
        return FALSE;
    if (obj->kind != plat::ObjKind::Event)
        return Fail(ERROR_INVALID_HANDLE);
    auto& ev = static_cast<plat::EventObject&>(*obj);
    {
        std::lock_guard<std::mutex> g(ev.m);
        ev.signaled = state;
        if (state)
            plat::CallWakes(ev.wakes);
    }
    if (state) {
        if (ev.manualReset)
            ev.cv.notify_all();
        else
            ev.cv.notify_one();
    }
    return TRUE;
}

BOOL SetEvent(HANDLE event)
{
    return SetEventState(event, true);
}

BOOL ResetEvent(HANDLE event)
{
    return SetEventState(event, false);
}

// ---------------------------------------------------------------- critical sections
static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque), "the lock fits the opaque storage");
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION), "the storage is aligned for the lock");

static std::recursive_mutex* SectionLock(LPCRITICAL_SECTION section)
{
    return std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    new (section->opaque) std::recursive_mutex();
}

void EnterCriticalSection(LPCRITICAL_SECTION section)
{
    SectionLock(section)->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    SectionLock(section)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    SectionLock(section)->~recursive_mutex();
    std::memset(section->opaque, 0, sizeof section->opaque);
}

// ---------------------------------------------------------------- memory
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes)
{
    if ((flags & ~static_cast<UINT>(LMEM_ZEROINIT)) != 0) {
        // Movable memory is a relic the program does not use.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t n = bytes == 0 ? 1 : bytes;
    void* p = (flags & LMEM_ZEROINIT) ? std::calloc(1, n) : std::malloc(n);
    if (p == nullptr)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

HLOCAL LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}

// ---------------------------------------------------------------- libraries
// No library is loaded at run time on this system: the ones the program asks
// for are Windows drivers. Every call fails as for a library that is absent.
HMODULE LoadLibraryA(LPCSTR)
{
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE, LPCSTR)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

BOOL FreeLibrary(HMODULE)
{
    return Fail(ERROR_INVALID_HANDLE);
}

// ---------------------------------------------------------------- watches
namespace plat {

void CallWakes(const WakeList& list)
{
    for (const auto* wake : list)
        (*wake)();
}

namespace {

// The mutex and wake list of an object a watch can follow, or nulls.
std::pair<std::mutex*, WakeList*> WakeListOf(KObject& obj)
{
    switch (obj.kind) {
    case ObjKind::Event: {
        auto& ev = static_cast<EventObject&>(obj);
        return {&ev.m, &ev.wakes};
    }
    case ObjKind::Thread: {
        auto& st = *static_cast<ThreadObject&>(obj).state;
        return {&st.m, &st.wakes};
    }
    case ObjKind::File:
        break;
    }
    return {nullptr, nullptr};
}

} // namespace

HandleWatch::HandleWatch(const HANDLE* handles, DWORD count, std::function<void()> wake) : wake_(std::move(wake))
{
    for (DWORD i = 0; i < count; ++i) {
        auto obj = LookupHandle(handles[i]);
        if (!obj)
            continue;
        // A thread's state outlives its handle; keep what holds the list.
        std::shared_ptr<void> keep = obj;
        if (obj->kind == ObjKind::Thread)
            keep = static_cast<ThreadObject&>(*obj).state;
        auto [m, list] = WakeListOf(*obj);
        if (!m)
            continue;
        std::lock_guard<std::mutex> g(*m);
        list->push_back(&wake_);
        watched_.push_back(std::move(obj));
        watched_.push_back(std::move(keep));
    }
}

HandleWatch::~HandleWatch()
{
    for (size_t i = 0; i < watched_.size(); i += 2) {
        auto [m, list] = WakeListOf(*std::static_pointer_cast<KObject>(watched_[i]));
        std::lock_guard<std::mutex> g(*m);
        std::erase(*list, &wake_);
    }
}

} // namespace plat
