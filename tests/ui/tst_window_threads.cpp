// SendMessageA from worker threads against what Windows does: the caller
// blocks until the window's thread has run the procedure, a dead window
// answers 0 at once, and a user-interface thread waiting in
// MsgWaitForMultipleObjects/PeekMessageA keeps delivering.
#include "ui/support/window_fixture.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

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
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool Ready(std::future<LRESULT>& f, int ms)
{
    return f.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

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
        MessageLog().clear();
        gHandled = 0;
        gOffThread = false;
        dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, ReportProc);
        QVERIFY(dlg);
    }
    void cleanup()
    {
        PlatTestDestroyAll();
        QVERIFY(!gOffThread); // every procedure ran on the user-interface thread
    }

    void sendBlocksUntilHandled_data();
    void sendBlocksUntilHandled();
    void manyStatusReports();
    void sendToDestroyedWindow();
    void destroyedWhileSenderWaits();
    void msgWaitKeepsDelivering();
    void msgWaitTimesOut();
    void msgWaitOnHandle();
    void peekDeliversOnlySends();
    void windowCallsFromWorker();

private:
    HWND dlg = nullptr;
};

void TestWindowThreads::sendBlocksUntilHandled_data()
{
    QTest::addColumn<WPARAM>("value");
    QTest::addColumn<QString>("target");
    // The worker gets the procedure's answer (DWLP_MSGRESULT of a dialog).
    QTest::newRow("to the dialog") << WPARAM(21) << "dialog";
    QTest::newRow("zero") << WPARAM(0) << "dialog";
    // A control answers for itself: SB_SETTEXTA gives TRUE.
    QTest::newRow("to a status bar") << WPARAM(0) << "bar";
}

void TestWindowThreads::sendBlocksUntilHandled()
{
    QFETCH(WPARAM, value);
    QFETCH(QString, target);
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", dlg, 2001);
    std::atomic<bool> handledBeforeReturn{false};
    auto worker = std::async(std::launch::async, [&]() -> LRESULT {
        LRESULT r = target == "bar" ? SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("已发送字节数 3"))
                                    : SendMessageA(dlg, kReport, value, 0);
        handledBeforeReturn = gHandled == 1 || PlatTestStatusText(dlg, 2001, 0) == "已发送字节数 3";
        return r;
    });
    // Nothing happens until the user-interface thread runs events.
    QVERIFY(SpinUntil([] { return PlatTestPendingSends() == 1; }, 5000));
    QVERIFY(!Ready(worker, 0));
    QVERIFY(PlatTestWaitFor([&] { return Ready(worker, 0); }, 5000));
    QCOMPARE(worker.get(), target == "bar" ? LRESULT(TRUE) : LRESULT(value * 2));
    QVERIFY(handledBeforeReturn);
}

void TestWindowThreads::manyStatusReports()
{
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", dlg, 2001);
    int parts[2] = {100, -1};
    SendMessageA(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    constexpr int kCount = 2000;
    auto worker = std::async(std::launch::async, [&]() -> LRESULT {
        char text[128];
        LRESULT ok = 0;
        for (int i = 1; i <= kCount; ++i) {
            wsprintfA(text, "已发送字节数 %d", i);
            ok += SendMessageA(bar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text));
            ok += SendMessageA(dlg, kReport, 1, 60) == 2;
        }
        return ok;
    });
    QVERIFY(PlatTestWaitFor([&] { return Ready(worker, 0); }, 30000));
    QCOMPARE(worker.get(), LRESULT(2 * kCount));
    QCOMPARE(gHandled.load(), kCount);
    QCOMPARE(PlatTestStatusText(dlg, 2001, 1), std::string("已发送字节数 2000"));
}

void TestWindowThreads::sendToDestroyedWindow()
{
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", dlg, 2001);
    DestroyWindow(dlg);
    // No event runs on this thread, yet the worker is answered at once.
    auto worker = std::async(std::launch::async, [&] {
        return SendMessageA(dlg, kReport, 1, 0) + SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("x"));
    });
    QVERIFY(Ready(worker, 5000));
    QCOMPARE(worker.get(), LRESULT(0));
    QCOMPARE(gHandled.load(), 0);
}

void TestWindowThreads::destroyedWhileSenderWaits()
{
    auto worker = std::async(std::launch::async, [&] { return SendMessageA(dlg, kReport, 5, 0); });
    QVERIFY(SpinUntil([] { return PlatTestPendingSends() == 1; }, 5000));
    // The dialog closes while the worker waits: the worker gets 0, the
    // procedure never sees the report, and nothing hangs.
    QVERIFY(DestroyWindow(dlg));
    QVERIFY(Ready(worker, 5000));
    QCOMPARE(worker.get(), LRESULT(0));
    QCOMPARE(PlatTestPendingSends(), 0);
    QCOMPARE(gHandled.load(), 0);
}

void TestWindowThreads::msgWaitKeepsDelivering()
{
    // The user-interface thread waits for a worker the way a closing dialog
    // does, delivering the worker's reports meanwhile; no Qt event runs.
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            SendMessageA(dlg, kReport, 1, 0);
        finished = true;
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int wakes = 0;
    while (!finished && std::chrono::steady_clock::now() < end) {
        const DWORD r = MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_SENDMESSAGE);
        QVERIFY(r == WAIT_OBJECT_0 || r == WAIT_TIMEOUT);
        if (r == WAIT_OBJECT_0) {
            ++wakes;
            MSG msg;
            QVERIFY(!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE));
        }
    }
    worker.join();
    QVERIFY(finished);
    QCOMPARE(gHandled.load(), 50);
    QVERIFY(wakes >= 1);
}

void TestWindowThreads::msgWaitTimesOut()
{
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_SENDMESSAGE), DWORD(WAIT_TIMEOUT));
    QVERIFY(clock.elapsed() >= 25);
    QCOMPARE(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_SENDMESSAGE), DWORD(WAIT_TIMEOUT));
}

void TestWindowThreads::msgWaitOnHandle()
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    QVERIFY(event);
    // A signalled handle: WAIT_OBJECT_0 + its index.
    std::thread setter([&] { SetEvent(event); });
    setter.join();
    QCOMPARE(MsgWaitForMultipleObjects(1, &event, FALSE, 5000, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0));
    // A message from another thread while the handle is not signalled:
    // WAIT_OBJECT_0 + the number of handles.
    ResetEvent(event);
    auto worker = std::async(std::launch::async, [&] { return SendMessageA(dlg, kReport, 2, 0); });
    QCOMPARE(MsgWaitForMultipleObjects(1, &event, FALSE, 5000, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0 + 1));
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    QVERIFY(Ready(worker, 5000));
    QCOMPARE(worker.get(), LRESULT(4));
    CloseHandle(event);

    // Without a time-out the wait ends when another thread sets an
    // auto-reset event (which the wait then consumes, as Windows does) or
    // when a thread ends: the setting wakes it, nothing is polled.
    HANDLE autoEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread later([&] { SetEvent(autoEvent); });
    QCOMPARE(MsgWaitForMultipleObjects(1, &autoEvent, FALSE, INFINITE, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0));
    later.join();
    QCOMPARE(WaitForSingleObject(autoEvent, 0), DWORD(WAIT_TIMEOUT));
    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID go) -> DWORD { return WaitForSingleObject(go, 5000); },
                                 autoEvent, 0, nullptr);
    QVERIFY(thread);
    SetEvent(autoEvent);
    QCOMPARE(MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE), DWORD(WAIT_OBJECT_0));
    CloseHandle(thread);
    CloseHandle(autoEvent);
}

void TestWindowThreads::peekDeliversOnlySends()
{
    QVERIFY(PostMessageA(dlg, WM_USER + 7, 0, 0));
    auto worker = std::async(std::launch::async, [&] { return SendMessageA(dlg, kReport, 3, 0); });
    QVERIFY(SpinUntil([] { return PlatTestPendingSends() == 1; }, 5000));
    MSG msg;
    QVERIFY(!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE));
    QVERIFY(Ready(worker, 5000));
    QCOMPARE(worker.get(), LRESULT(6));
    // The posted message waits for the event loop.
    QCOMPARE(MessageCount(WM_USER + 7), 0);
    QVERIFY(PlatTestWaitFor([] { return MessageCount(WM_USER + 7) == 1; }, 5000));
}

void TestWindowThreads::windowCallsFromWorker()
{
    // Window functions called on a worker run on the window's thread, as
    // the messages they stand for do on Windows.
    auto worker = std::async(std::launch::async, [&]() -> LRESULT {
        SetDlgItemTextA(dlg, kEdit, "from worker");
        EnableWindow(GetDlgItem(dlg, kPush), FALSE);
        CheckDlgButton(dlg, kAutoCheck, BST_CHECKED);
        char text[32] = {};
        GetDlgItemTextA(dlg, kEdit, text, sizeof text);
        return std::string(text) == "from worker" && !IsWindowEnabled(GetDlgItem(dlg, kPush)) &&
               IsDlgButtonChecked(dlg, kAutoCheck) == BST_CHECKED;
    });
    QVERIFY(PlatTestWaitFor([&] { return Ready(worker, 0); }, 5000));
    QCOMPARE(worker.get(), LRESULT(TRUE));
    QCOMPARE(CommandCount(kEdit, EN_CHANGE), 1);
    QVERIFY(!PlatTestEnabled(dlg, kPush));
}

PLAT_TEST_MAIN(TestWindowThreads)
#include "tst_window_threads.moc"
