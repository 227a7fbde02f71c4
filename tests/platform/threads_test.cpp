// Handles, threads, events, waits and critical sections.
#include "support.h"

#include <atomic>
#include <thread>
#include <vector>

using namespace testplat;

namespace {

// A closed, bogus or wrong-kind handle fails every call, and a closed
// handle's number never reaches a file opened after it.
TEST(Handles, ClosedBogusAndWrongKindFail)
{
    TempDir dir;
    HANDLE closed = CreateFileA((dir / "a").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    HANDLE later = CreateFileA((dir / "b").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(later, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE bogus[] = {closed, nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(3)),
                      reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xdeadbeef)), event};
    for (HANDLE b : bogus) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(b));
        DWORD n = 7;
        char c;
        DCB dcb{};
        SetLastError(0);
        EXPECT_FALSE(WriteFile(b, "stray", 5, &n, nullptr));
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(ReadFile(b, &c, 1, &n, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(GetFileSize(b, nullptr), INVALID_FILE_SIZE);
        EXPECT_FALSE(GetCommState(b, &dcb));
        EXPECT_FALSE(SetThreadPriority(b, THREAD_PRIORITY_NORMAL));
        if (b == event)
            continue;
        EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_FAILED);
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(b));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_TRUE(CloseHandle(event));
    CloseHandle(later);
    EXPECT_EQ(ReadText(dir / "b"), "");
}

struct Gate {
    HANDLE go;
    std::atomic<int> ran{0};
    std::atomic<DWORD> lastError{0}; // what the threads found at their start, or-ed: none hides another
};

DWORD WINAPI WaitsForGate(LPVOID p)
{
    auto* g = static_cast<Gate*>(p);
    g->lastError.fetch_or(GetLastError());
    SetLastError(7);
    WaitForSingleObject(g->go, 10000);
    g->ran.fetch_add(1);
    return 5;
}

// A thread runs held at its gate, its handle is signalled when it ends and
// stays so; the last error is its own. A thread whose handle is closed at
// once goes on, detached.
TEST(Threads, RunWaitAndClose)
{
    Gate g;
    g.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(42);
    HANDLE detached = CreateThread(nullptr, 0, WaitsForGate, &g, 0, nullptr);
    ASSERT_NE(detached, nullptr);
    EXPECT_TRUE(CloseHandle(detached));
    DWORD id = 0;
    SetLastError(42);
    // The program asks 32 KiB of stack; the thread must still run.
    HANDLE t = CreateThread(nullptr, 32 * 1024, WaitsForGate, &g, 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(SetThreadPriority(t, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(WaitForSingleObject(t, 50), static_cast<DWORD>(WAIT_TIMEOUT)); // held at the gate
    SetEvent(g.go);
    SetLastError(43);
    EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(GetLastError(), 43u); // not the thread's 7
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0); // stays signalled
    EXPECT_TRUE(CloseHandle(t));
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);
    for (auto start = Clock::now(); g.ran.load() < 2 && MsSince(start) < 10000;) // the detached one, bounded
        std::this_thread::yield();
    EXPECT_EQ(g.ran.load(), 2);
    EXPECT_EQ(g.lastError.load(), 0u); // nor the 42 of the thread that made them
    CloseHandle(g.go);

    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    for (DWORD flags : {0x4u /* suspended */, 0x10000u /* stack size is a reservation */})
        EXPECT_EQ(CreateThread(nullptr, 0, WaitsForGate, nullptr, flags, nullptr), nullptr);
}

TEST(Events, ManualAndAutoReset)
{
    struct Case {
        BOOL manual;
        BOOL initial;
        DWORD first;  // first wait
        DWORD second; // second wait, without a new SetEvent
    } cases[] = {
        {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "manual " << c.manual << " initial " << c.initial);
        HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.first);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.second);
        EXPECT_TRUE(SetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ResetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_TRUE(CloseHandle(e));
        EXPECT_FALSE(SetEvent(e));
    }
}

struct Waiters {
    HANDLE event = nullptr;
    std::atomic<int> through{0};
};

DWORD WINAPI WaitForTheEvent(LPVOID p)
{
    auto* w = static_cast<Waiters*>(p);
    if (WaitForSingleObject(w->event, 10000) == WAIT_OBJECT_0)
        w->through.fetch_add(1);
    return 0;
}

// Counted, not timed: one SetEvent of an auto-reset event lets exactly one
// of three waiters through, one of a manual-reset event all three, and it
// stays set; no wait ends before its event is set. A wait nobody ends gives
// WAIT_TIMEOUT, never before its time-out; the time scale shortens it and Sleep.
TEST(Events, EachSetLetsOneOrAllWaitersThroughAndTimeOutsFollowTheScale)
{
    for (const BOOL manual : {FALSE, TRUE}) {
        SCOPED_TRACE(manual ? "manual reset" : "auto reset");
        Waiters w;
        w.event = CreateEventA(nullptr, manual, FALSE, nullptr);
        std::vector<HANDLE> threads;
        for (int i = 0; i < 3; ++i)
            threads.push_back(CreateThread(nullptr, 0, WaitForTheEvent, &w, 0, nullptr));
        for (int set = 1; set <= (manual ? 1 : 3); ++set) {
            EXPECT_EQ(w.through.load(), set - 1); // nobody without a set
            SetEvent(w.event);
            const int expected = manual ? 3 : set;
            for (auto start = Clock::now(); w.through.load() < expected && MsSince(start) < 10000;)
                std::this_thread::yield();
            EXPECT_EQ(w.through.load(), expected);
        }
        for (HANDLE t : threads) {
            EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
            CloseHandle(t);
        }
        EXPECT_EQ(w.through.load(), 3);
        // Each waiter used up one set of the auto-reset event; the other stays set.
        EXPECT_EQ(WaitForSingleObject(w.event, 0), manual ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT));
        CloseHandle(w.event);
    }

    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(e, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(MsSince(start), 200);
    start = Clock::now();
    Sleep(100);
    EXPECT_GE(MsSince(start), 100);
    {
        ScaleGuard fast(0.01);
        start = Clock::now();
        EXPECT_EQ(WaitForSingleObject(e, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
        Sleep(2000);
        const auto ms = MsSince(start);
        EXPECT_GE(ms, 30); // 20 ms each, give or take the rounding
        EXPECT_LT(ms, 2000); // what one of them takes unscaled
    }
    CloseHandle(e);
}

DWORD WINAPI SetsTheEvent(LPVOID event)
{
    Sleep(50);
    SetEvent(static_cast<HANDLE>(event));
    return 0;
}

// Any of several: the lowest signalled index, an auto-reset event used up by
// the wait that took it; a wait woken by another thread's SetEvent or a
// thread's end; a time-out; and the calls it refuses.
TEST(Events, WaitForAnyOfSeveral)
{
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE automatic = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const HANDLE both[2] = {manual, automatic};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(automatic);
    SetEvent(manual);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0); // not taken
    ResetEvent(manual);

    HANDLE setter = CreateThread(nullptr, 0, SetsTheEvent, automatic, 0, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 10000), WAIT_OBJECT_0 + 1);
    const HANDLE eventAndThread[2] = {manual, setter};
    EXPECT_EQ(WaitForMultipleObjects(2, eventAndThread, FALSE, 10000), WAIT_OBJECT_0 + 1);
    CloseHandle(setter);

    const auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(MsSince(start), 100);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, both, FALSE, 0), WAIT_FAILED);
    CloseHandle(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_FAILED);
    CloseHandle(manual);
}

struct Shared {
    CRITICAL_SECTION cs;
    long counter = 0;
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
};

DWORD WINAPI Hammer(LPVOID p)
{
    auto* s = static_cast<Shared*>(p);
    for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&s->cs);
        EnterCriticalSection(&s->cs); // recursion by the owner
        int now = s->inside.fetch_add(1) + 1;
        if (now > s->maxInside.load())
            s->maxInside.store(now);
        ++s->counter;
        s->inside.fetch_sub(1);
        LeaveCriticalSection(&s->cs);
        LeaveCriticalSection(&s->cs);
    }
    return 0;
}

// Four threads entering twice each: never two inside, no count lost.
TEST(CriticalSection, RecursiveAndExclusive)
{
    Shared s;
    InitializeCriticalSection(&s.cs);
    std::vector<HANDLE> threads;
    for (int i = 0; i < 4; ++i)
        threads.push_back(CreateThread(nullptr, 32 * 1024, Hammer, &s, 0, nullptr));
    for (HANDLE t : threads) {
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(WaitForSingleObject(t, 30000), WAIT_OBJECT_0);
        CloseHandle(t);
    }
    EXPECT_EQ(s.counter, 4 * 20000);
    EXPECT_EQ(s.maxInside.load(), 1);
    DeleteCriticalSection(&s.cs);
}

} // namespace
