// Shared pieces of the window layer's tests: dialog templates with every
// kind of control, a dialog procedure that logs what it receives, and
// helpers for real message boxes and clicks through the window system.
#pragma once

#include "platform/testapi/testapi.h"

#include <vector>

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

// For a test that loops over a table of cases: when a check fails (and
// returns from the test), names the row it was in.
struct RowTrace {
    const char* row;
    ~RowTrace()
    {
        if (QTest::currentTestFailed())
            qWarning("  in row \"%s\"", row);
    }
};

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

// Real message boxes, for tests that do not record them: the one showing
// now, or nullptr.
class QMessageBox;
QMessageBox* ShownMessageBox();
// Closes every message box still showing when it goes, so a worker thread
// waiting on one can end whatever the test found.
struct CloseMessageBoxesAtEnd {
    CloseMessageBoxesAtEnd() = default;
    CloseMessageBoxesAtEnd(const CloseMessageBoxesAtEnd&) = delete;
    CloseMessageBoxesAtEnd& operator=(const CloseMessageBoxesAtEnd&) = delete;
    ~CloseMessageBoxesAtEnd();
};
// Answers the box showing now with its button `button` (a QMessageBox::StandardButton).
bool AnswerShownMessageBox(int button);
// A click as the window system delivers it, into the window of `control`:
// unlike a click sent to the widget itself, a modal window holds it back.
void SystemClick(QWidget* control);
