// Handles, threads, events, waits and critical sections.
#include "support.h"

#include <atomic>
#include <vector>

using namespace testplat;

namespace {

TEST(Handles, ClosedBogusAndDoubleClosedFail)
{
    TempDir dir;
    HANDLE h = CreateFileA((dir / "f").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(h));

    HANDLE bogus[] = {h, nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(3)),
                      reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xdeadbeef))};
    for (HANDLE b : bogus) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(b));
        DWORD n = 7;
        char c;
        SetLastError(0);
        EXPECT_FALSE(WriteFile(b, "x", 1, &n, nullptr));
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(ReadFile(b, &c, 1, &n, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(GetFileSize(b, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_FAILED);
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(b));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(Handles, AClosedHandleNeverReachesALaterFile)
{
    // The old handle's number must not come back for a new file.
    TempDir dir;
    HANDLE a = CreateFileA((dir / "a").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_TRUE(CloseHandle(a));
    HANDLE b = CreateFileA((dir / "b").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    DWORD n;
    EXPECT_FALSE(WriteFile(a, "stray", 5, &n, nullptr));
    CloseHandle(b);
    EXPECT_EQ(ReadText(dir / "b"), "");
}

TEST(Handles, WrongKindIsRefused)
{
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(ev, nullptr);
    DWORD n;
    EXPECT_FALSE(WriteFile(ev, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DCB dcb{};
    EXPECT_FALSE(GetCommState(ev, &dcb));
    EXPECT_FALSE(SetThreadPriority(ev, THREAD_PRIORITY_NORMAL));
    EXPECT_TRUE(CloseHandle(ev));
}

TEST(Errors, LastErrorIsPerThread)
{
    SetLastError(42);
    std::atomic<DWORD> seen{99};
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            static_cast<std::atomic<DWORD>*>(p)->store(GetLastError());
            SetLastError(7);
            return 0;
        },
        &seen, 0, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_EQ(seen.load(), 0u);
    EXPECT_EQ(GetLastError(), 42u);
}

struct Gate {
    HANDLE go;
    std::atomic<int> ran{0};
};

DWORD WINAPI WaitsForGate(LPVOID p)
{
    auto* g = static_cast<Gate*>(p);
    WaitForSingleObject(g->go, 10000);
    g->ran.fetch_add(1);
    return 5;
}

TEST(Threads, RunWaitAndClose)
{
    Gate g;
    g.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    // The program asks 32 KiB of stack; the thread must still run.
    HANDLE t = CreateThread(nullptr, 32 * 1024, WaitsForGate, &g, 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(SetThreadPriority(t, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(WaitForSingleObject(t, 50), static_cast<DWORD>(WAIT_TIMEOUT)); // held at the gate
    SetEvent(g.go);
    EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0); // stays signalled
    EXPECT_EQ(g.ran.load(), 1);
    EXPECT_TRUE(CloseHandle(t));
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);
    CloseHandle(g.go);
}

TEST(Threads, HandleClosedWhileTheThreadRuns)
{
    Gate g;
    g.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, WaitsForGate, &g, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(CloseHandle(t)); // the thread goes on, detached
    SetEvent(g.go);
    // Bounded wait for the detached thread to finish its work.
    auto start = Clock::now();
    while (g.ran.load() == 0 && MsSince(start) < 10000)
        std::this_thread::yield();
    EXPECT_EQ(g.ran.load(), 1);
    CloseHandle(g.go);
}

TEST(Threads, BadArgumentsAreRefused)
{
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreateThread(nullptr, 0, WaitsForGate, nullptr, 4 /* suspended */, nullptr), nullptr);
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

TEST(Events, WaitTimesOutAfterAboutTheTimeGiven)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(e, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    auto ms = MsSince(start);
    EXPECT_GE(ms, 190);
    EXPECT_LT(ms, 3000);
    CloseHandle(e);
}

TEST(Events, SetFromAnotherThreadWakesTheWaiter)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            SetEvent(static_cast<HANDLE>(p));
            return 0;
        },
        e, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 10000), WAIT_OBJECT_0);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    CloseHandle(e);
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

TEST(CriticalSection, HeldByOneThreadBlocksAnother)
{
    struct S {
        CRITICAL_SECTION cs;
        HANDLE entered;
    } s;
    InitializeCriticalSection(&s.cs);
    s.entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EnterCriticalSection(&s.cs);
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<S*>(p);
            EnterCriticalSection(&s->cs);
            SetEvent(s->entered);
            LeaveCriticalSection(&s->cs);
            return 0;
        },
        &s, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(s.entered, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    LeaveCriticalSection(&s.cs);
    EXPECT_EQ(WaitForSingleObject(s.entered, 10000), WAIT_OBJECT_0);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    CloseHandle(s.entered);
    DeleteCriticalSection(&s.cs);
}

TEST(Sleep, ScaledByTheTimeScale)
{
    {
        ScaleGuard fast(0.01);
        auto start = Clock::now();
        Sleep(2000);
        EXPECT_LT(MsSince(start), 1000);
    }
    auto start = Clock::now();
    Sleep(100);
    auto ms = MsSince(start);
    EXPECT_GE(ms, 95);
    EXPECT_LT(ms, 3000);
}

TEST(Memory, LocalAllocZeroesWhenAsked)
{
    auto* p = static_cast<unsigned char*>(LocalAlloc(LPTR, 4096));
    ASSERT_NE(p, nullptr);
    bool allZero = true;
    for (int i = 0; i < 4096; ++i)
        allZero = allZero && p[i] == 0;
    EXPECT_TRUE(allZero);
    EXPECT_EQ(LocalFree(p), nullptr);
    void* z = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(z, nullptr);
    LocalFree(z);
}

TEST(Libraries, NoneLoad)
{
    EXPECT_EQ(LoadLibraryA("Inpout32"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(nullptr, "Inp32"), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));
}

} // namespace
