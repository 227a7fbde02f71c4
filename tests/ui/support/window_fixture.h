// Shared pieces of the window layer's tests: dialog templates with every
// kind of control, a dialog procedure that logs what it receives, and
// helpers for real message boxes and clicks through the window system.
//
// The tables of what Windows does are written once and run on both
// systems: as Qt Test programs against our Qt layer, and on Windows (under
// Wine in CI) as GoogleTest programs against the real system. On Windows
// this header is the thin adapter: a table's QVERIFY and QCOMPARE are
// GoogleTest's fatal assertions (they end the table, as Qt Test's do), and
// WINDOW_TABLES_RUN lists the tables the Qt side finds through moc.
// Tables only one side can run (a Qt widget's paints, frames) are left out
// of the other, with the reason where they are.
#pragma once

#include "platform/testapi/testapi.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>

class QObject {};
#define Q_OBJECT friend struct WindowTablesRun;
#define slots
#define QVERIFY(condition)                                                                                      \
    do {                                                                                                               \
        ASSERT_TRUE(condition);                                                                                        \
    } while (0)
#define QCOMPARE(actual, expected)                                                                                     \
    do {                                                                                                               \
        ASSERT_EQ(actual, expected);                                                                                   \
    } while (0)
template <class T>
struct QList : std::vector<T> {
    using std::vector<T>::vector;
    bool contains(const T& v) const { return std::find(this->begin(), this->end(), v) != this->end(); }
};

// Runs `f` once from this thread's message loop after `ms`, as Qt's does.
struct QTimer {
    static void singleShot(int ms, std::function<void()> f);
};

// Runs the tables of one test class after initTestCase, each between init
// (where the class has one) and cleanup, as Qt Test does:
//     WINDOW_TABLES_RUN(TestWindowButtons) { RUN_TABLE(clicksAndChecks); ... }
struct WindowTablesRun {
    template <class T>
    static void Run(T& test);
    template <class T>
    static void All()
    {
        T test;
        test.initTestCase();
        Run(test);
    }
    template <class T>
    static void Init(T& test)
    {
        if constexpr (requires { test.init(); })
            test.init();
    }
};
#define WINDOW_TABLES_RUN(Class)                                                                                       \
    template <>                                                                                                        \
    void WindowTablesRun::Run<Class>(Class & test);                                                                    \
    TEST(Class, Tables)                                                                                                \
    {                                                                                                                  \
        WindowTablesRun::All<Class>();                                                                                 \
    }                                                                                                                  \
    template <>                                                                                                        \
    void WindowTablesRun::Run<Class>(Class & test)
#define RUN_TABLE(table)                                                                                               \
    do {                                                                                                               \
        SCOPED_TRACE(#table);                                                                                          \
        WindowTablesRun::Init(test);                                                                                   \
        test.table();                                                                                                  \
        test.cleanup();                                                                                                \
    } while (0)
#endif

// Dialog with radio groups, check boxes, buttons, edits, a combo box, a
// static text and a tab control, but no default push button; template id
// kTplControls. Control ids below.
constexpr int kTplControls = 9001;
// Small dialog with a menu-less caption: kPush, the default button kDefPush
// and kEdit, in that order. Used for nesting, threads and dialog keys.
constexpr int kTplSmall = 9004;
// Child page (WS_CHILD) placed inside another dialog.
constexpr int kTplPage = 9005;

enum : int {
    kGroupBox = 100,
    kRadioA1 = 101, kRadioA2 = 102, kRadioA3 = 103, // first group
    kRadioB1 = 111, kRadioB2 = 112,                  // second group
    kAutoCheck = 121, kPlainCheck = 122,
    kPush = 131, kDisabledPush = 132,
    kEdit = 141, kMultiEdit = 142, kWantReturnEdit = 143, kReadOnlyEdit = 144,
    kCombo = 151,
    kLabel = 161,
    kTab = 171,
    kDefPush = 201,
    kPageButton = 301,
};

void RegisterTestTemplates();

// Where Wine, unlike Windows, does not do what a row or check states:
// `why` says so, and on Windows the row or check is passed over with that
// note (as Wine's own tests mark a check todo_wine); the Qt side runs it.
// Without a reason (nullptr) nothing differs.
//     if (WineDiffers(c.wine)) continue;
inline bool WineDiffers([[maybe_unused]] const char* why)
{
#ifdef _WIN32
    if (why)
        std::printf("todo_wine: %s\n", why);
    return why != nullptr;
#else
    return false;
#endif
}

// For a test that loops over a table of cases: when a check fails (and
// returns from the test), names the row it was in.
#ifdef _WIN32
struct RowTrace {
    testing::ScopedTrace trace;
    RowTrace(const char* row) : trace(__FILE__, __LINE__, row) {}
};
#else
struct RowTrace {
    const char* row;
    ~RowTrace()
    {
        if (QTest::currentTestFailed())
            qWarning("  in row \"%s\"", row);
    }
};
#endif

struct LoggedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Everything LoggingDlgProc received, oldest first.
std::vector<LoggedMessage>& MessageLog();
// How many WM_COMMAND with this control id and notification code it received.
int CommandCount(int id, int code);
// How many messages of this kind it received.
int MessageCount(UINT message);
// Logs every message. WM_INITDIALOG and WM_CLOSE are handled (TRUE); the
// dialog never ends by itself.
INT_PTR CALLBACK LoggingDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Opens the test template `tpl` as a modeless dialog with an empty log.
HWND OpenTestDialog(int tpl, DLGPROC proc = LoggingDlgProc);

// Closes every message box still showing when it goes, so a worker thread
// waiting on one can end whatever the test found.
struct CloseMessageBoxesAtEnd {
    CloseMessageBoxesAtEnd() = default;
    CloseMessageBoxesAtEnd(const CloseMessageBoxesAtEnd&) = delete;
    CloseMessageBoxesAtEnd& operator=(const CloseMessageBoxesAtEnd&) = delete;
    ~CloseMessageBoxesAtEnd();
};

// Runs `f` after this thread's current work, from whatever loop it runs next
// (a modal one, or a wait that delivers only what other threads send: on
// Windows `f` runs now, as whatever it posts is held until then anyway).
void SoonAfter(std::function<void()> f);

#ifndef _WIN32
// Real message boxes, for tests that do not record them: the one showing
// now, or nullptr.
class QMessageBox;
QMessageBox* ShownMessageBox();
// Answers the box showing now with its button `button` (a QMessageBox::StandardButton).
bool AnswerShownMessageBox(int button);
// A click as the window system delivers it, into the window of `control`:
// unlike a click sent to the widget itself, a modal window holds it back.
void SystemClick(QWidget* control);
#endif
