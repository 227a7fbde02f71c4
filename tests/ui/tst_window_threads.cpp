// SendMessageA from worker threads against what Windows does: the caller
// blocks until the window's thread has run the procedure, a dead window
// answers 0 at once, and a user-interface thread waiting in
// MsgWaitForMultipleObjects/PeekMessageA keeps delivering.
#include "res/resources.h"
#include "ui/support/window_fixture.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr UINT kReport = WM_USER + 100;
std::thread::id gUiThread;
std::atomic<int> gHandled{0};
std::atomic<bool> gOffThread{false};

// Doubles wParam of kReport through DWLP_MSGRESULT and counts the reports.
INT_PTR CALLBACK ReportProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (std::this_thread::get_id() != gUiThread)
        gOffThread = true;
    MessageLog().push_back({window, message, wParam, lParam});
    if (message == kReport) {
        ++gHandled;
        SetWindowLongPtrA(window, DWLP_MSGRESULT, static_cast<LONG_PTR>(wParam * 2));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

// Waits, without running any event, until `done` or the bound passes.
template <typename F> bool SpinUntil(F done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A worker thread and its result. Should the test end before taking the
// result (a failed check), the windows go first: a worker blocked sending
// to one is answered, and the end of the test never waits on it forever.
class Worker {
public:
    template <typename F> explicit Worker(F f) : result_(std::async(std::launch::async, f)) {}
    ~Worker()
    {
        if (result_.valid())
            PlatTestDestroyAll();
    }
    bool Ready(int ms) { return result_.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready; }
    LRESULT Get() { return result_.get(); }

private:
    std::future<LRESULT> result_;
};

} // namespace

class TestWindowThreads : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RegisterTestTemplates();
        gUiThread = std::this_thread::get_id();
    }
    void init()
    {
        gHandled = 0;
        gOffThread = false;
        dlg = OpenTestDialog(kTplControls, ReportProc);
        QVERIFY(dlg);
    }
    void cleanup()
    {
        PlatTestDestroyAll();
        QVERIFY(!gOffThread); // every procedure ran on the user-interface thread
    }

    void sendBlocksUntilHandled()
    {
        // Each report returns once the procedure has run, with its answer
        // (DWLP_MSGRESULT of a dialog), however many come.
        constexpr int kCount = 2000;
        Worker worker([&] {
            LRESULT answered = 0;
            for (int i = 1; i <= kCount; ++i)
                answered += SendMessageA(dlg, kReport, WPARAM(i), 0) == 2 * i && gHandled == i;
            return answered;
        });
        // Nothing happens until the user-interface thread runs events.
        QVERIFY(SpinUntil([] { return PlatTestPendingSends() == 1; }, 5000));
        QVERIFY(!worker.Ready(0));
        QCOMPARE(gHandled.load(), 0);
        QVERIFY(PlatTestWaitFor([&] { return worker.Ready(0); }, 30000));
        QCOMPARE(worker.Get(), LRESULT(kCount));
    }

    void aDeadWindowAnswersZeroAtOnce()
    {
        // The dialog closes while a worker waits on it: no event runs on
        // this thread, yet the worker gets 0 and the procedure never sees it.
        // (Sent after it is gone: reportsToAWindowAlreadyGoneAreDropped.)
        Worker waiting([&] { return SendMessageA(dlg, kReport, 5, 0); });
        QVERIFY(SpinUntil([] { return PlatTestPendingSends() == 1; }, 5000));
        QVERIFY(DestroyWindow(dlg));
        QVERIFY(waiting.Ready(5000));
        QCOMPARE(waiting.Get(), LRESULT(0));
        QCOMPARE(PlatTestPendingSends(), 0);
        QCOMPARE(gHandled.load(), 0);
    }

    void msgWaitOnHandles()
    {
        // Nothing to wait for: the time-out, and 0 does not wait.
        MSG msg;
#ifdef _WIN32
        // Windows' wait is for input that came since the thread last looked
        // at its queue, and Wine's window system goes on sending this thread
        // messages of its own (to windows of its own) for a moment after
        // init() showed the dialog: those are taken first.
        for (int i = 0; i < 10 && MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_SENDMESSAGE) != WAIT_TIMEOUT;
             ++i)
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
#endif
        const auto start = std::chrono::steady_clock::now();
        QCOMPARE(MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_SENDMESSAGE), DWORD(WAIT_TIMEOUT));
        QVERIFY(std::chrono::steady_clock::now() - start >= 25ms);
        QCOMPARE(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_SENDMESSAGE), DWORD(WAIT_TIMEOUT));

        // A signalled handle: WAIT_OBJECT_0 + its index.
        HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        QVERIFY(event);
        QCOMPARE(MsgWaitForMultipleObjects(1, &event, FALSE, 5000, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0));
        // A message from another thread while the handle is not signalled:
        // WAIT_OBJECT_0 + the number of handles. PeekMessageA with
        // PM_QS_SENDMESSAGE then delivers it, and only it: a posted message
        // waits for the event loop.
        ResetEvent(event);
        QVERIFY(PostMessageA(dlg, WM_USER + 7, 0, 0));
        Worker worker([&] { return SendMessageA(dlg, kReport, 2, 0); });
        QCOMPARE(MsgWaitForMultipleObjects(1, &event, FALSE, 5000, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0 + 1));
        QVERIFY(!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE));
        QVERIFY(worker.Ready(5000));
        QCOMPARE(worker.Get(), LRESULT(4));
        QCOMPARE(MessageCount(WM_USER + 7), 0);
        QVERIFY(PlatTestWaitFor([] { return MessageCount(WM_USER + 7) == 1; }, 5000));
        CloseHandle(event);

        // Without a time-out the wait ends when another thread sets an
        // auto-reset event (which the wait then consumes, as Windows does) or
        // when a thread ends: the setting wakes it, nothing is polled. (A
        // message sent after 5 s ends a wait nothing else ended: the test
        // fails instead of hanging.)
        std::atomic<bool> over{false};
        Worker bound([&] { return SpinUntil([&] { return over.load(); }, 5000) ? 0 : SendMessageA(dlg, kReport, 0, 0); });
        HANDLE autoEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        std::jthread later([&] { SetEvent(autoEvent); });
        QCOMPARE(MsgWaitForMultipleObjects(1, &autoEvent, FALSE, INFINITE, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0));
        later.join(); // done with the event before it is used again, and closed
        QCOMPARE(WaitForSingleObject(autoEvent, 0), DWORD(WAIT_TIMEOUT));
        HANDLE thread = CreateThread(nullptr, 0, [](LPVOID go) -> DWORD { return WaitForSingleObject(go, 5000); },
                                     autoEvent, 0, nullptr);
        QVERIFY(thread);
        SetEvent(autoEvent);
        QCOMPARE(MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0));
        over = true;
        QCOMPARE(bound.Get(), LRESULT(0));
        CloseHandle(thread);
        CloseHandle(autoEvent);
    }

    void sendsWithoutAPauseLeaveTheLoopItsTurn()
    {
        // Two workers sending without a pause keep calls queued all the
        // time; the event loop still gets its turn while they go on (a
        // message posted and a timer set meanwhile run), as the pump hands
        // it back within a frame. (The workers stop by themselves after 10 s:
        // the test fails instead of hanging.)
        std::atomic<bool> stop{false};
        std::atomic<int> sending{0};
        const auto sender = [&] {
            ++sending;
            const auto end = std::chrono::steady_clock::now() + 10s;
            LRESULT answered = 0;
            while (!stop && std::chrono::steady_clock::now() < end)
                answered += SendMessageA(dlg, kReport, 1, 0) == 2;
            return answered;
        };
        Worker a(sender), b(sender);
        QVERIFY(SpinUntil([&] { return sending == 2 && PlatTestPendingSends() > 0; }, 5000));
        QVERIFY(PostMessageA(dlg, WM_USER + 7, 0, 0));
        bool timerRan = false;
        QTimer::singleShot(0, [&] { timerRan = true; });
        PlatTestRunEventLoopUntil(
            [&] { return (timerRan && MessageCount(WM_USER + 7) == 1) || (a.Ready(0) && b.Ready(0)); });
        QVERIFY(timerRan);
        QCOMPARE(MessageCount(WM_USER + 7), 1);
        QVERIFY(!a.Ready(0) && !b.Ready(0)); // still sending
        stop = true;
        QVERIFY(PlatTestWaitFor([&] { return a.Ready(0) && b.Ready(0); }, 5000));
        QCOMPARE(a.Get() + b.Get(), LRESULT(gHandled.load()));
    }

private:
    HWND dlg = nullptr;
};

#ifdef _WIN32
WINDOW_TABLES_RUN(TestWindowThreads)
{
    RUN_TABLE(sendBlocksUntilHandled);
    RUN_TABLE(aDeadWindowAnswersZeroAtOnce);
    RUN_TABLE(msgWaitOnHandles);
    RUN_TABLE(sendsWithoutAPauseLeaveTheLoopItsTurn);
}
#else
PLAT_TEST_MAIN_WITH(TestWindowThreads, ResRegister)
#include "tst_window_threads.moc"
#endif
