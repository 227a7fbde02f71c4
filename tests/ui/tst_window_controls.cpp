// The window layer's edits, combo boxes, status bars and dialog units
// against what Windows does.
#include "ui/support/window_fixture.h"

#include "res/resource.h"
#include "res/resources.h"

#include <QFontMetrics>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

class TestWindowControls : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestTemplates(); }
    void init() { MessageLog().clear(); }
    void cleanup() { PlatTestDestroyAll(); }

    void editChange_data();
    void editChange();
    void limitText_data();
    void limitText();
    void editFocusNotifications();
    void textIsCutOnCharacters_data();
    void textIsCutOnCharacters();
    void combo();
    void comboUserChoice_data();
    void comboUserChoice();
    void statusBar();
    void statusBarInTemplateAndDestroy();
    void dialogUnits_data();
    void dialogUnits();
    void controlsArePlacedInDialogUnits_data();
    void controlsArePlacedInDialogUnits();
    void reportsDrawAtMostOncePerFrame_data();
    void reportsDrawAtMostOncePerFrame();
    void userWorksOnTheLastTextSet_data();
    void userWorksOnTheLastTextSet();
    void pictures();
    void tabControl_data();
    void tabControl();
};

namespace {

std::vector<UINT> gTabCodes;
bool gRefuseTab = false;

// Logs the tab notifications; refuses a change of tab when asked to.
INT_PTR CALLBACK TabHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->hwndFrom == GetDlgItem(window, 1236) && hdr->idFrom == 1236 && wParam == 1236)
            gTabCodes.push_back(hdr->code);
        if (hdr->code == TCN_SELCHANGING && gRefuseTab) {
            SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
    }
    return message == WM_INITDIALOG;
}

} // namespace

void TestWindowControls::editChange_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("action"); // "type", "type refused" or "set"
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("changes");
    QTest::addColumn<QString>("textAfter");
    // Every typed character is one EN_CHANGE.
    QTest::newRow("typing, single line") << int(kEdit) << "type" << "abc" << 3 << "abc";
    QTest::newRow("typing Chinese") << int(kEdit) << "type" << "发送" << 2 << "发送";
    QTest::newRow("typing, multi-line") << int(kMultiEdit) << "type" << "ab" << 2 << "ab";
    // A line break typed into an ES_WANTRETURN edit is one change; the text
    // comes back with CR LF.
    QTest::newRow("line break, ES_WANTRETURN") << int(kWantReturnEdit) << "type" << "a\nb" << 3 << "a\r\nb";
    // A read-only edit takes no typing and reports nothing.
    QTest::newRow("typing, read-only") << int(kReadOnlyEdit) << "type refused" << "x" << 0 << "fixed";
    // SetWindowText on a single-line edit sends one EN_CHANGE, even when
    // the text does not change.
    QTest::newRow("set, single line") << int(kEdit) << "set" << "hello" << 1 << "hello";
    QTest::newRow("set empty, single line") << int(kEdit) << "set" << "" << 1 << "";
    // On a multi-line edit Windows sends no EN_CHANGE for WM_SETTEXT; CR LF
    // goes in and comes out unchanged.
    QTest::newRow("set, multi-line") << int(kMultiEdit) << "set" << "1B 40\r\n0A" << 0 << "1B 40\r\n0A";
}

void TestWindowControls::editChange()
{
    QFETCH(int, id);
    QFETCH(QString, action);
    QFETCH(QString, input);
    QFETCH(int, changes);
    QFETCH(QString, textAfter);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    MessageLog().clear();
    if (action == "type refused")
        PlatTestExpectMiss();
    if (action.startsWith("type"))
        PlatTestType(dlg, id, input.toStdString());
    else
        QVERIFY(SetDlgItemTextA(dlg, id, input.toUtf8().constData()));
    QCOMPARE(CommandCount(id, EN_CHANGE), changes);
    QCOMPARE(QString::fromStdString(PlatTestText(dlg, id)), textAfter);
    char buffer[64];
    QCOMPARE(GetDlgItemTextA(dlg, id, buffer, sizeof buffer), UINT(textAfter.toUtf8().size()));
    QCOMPARE(QString::fromUtf8(buffer), textAfter);
    QCOMPARE(SendDlgItemMessageA(dlg, id, WM_GETTEXTLENGTH, 0, 0), LRESULT(textAfter.toUtf8().size()));
}

void TestWindowControls::limitText_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("textAfter");
    // EM_LIMITTEXT stops typing at the limit; the extra keys change nothing
    // and send no EN_CHANGE.
    QTest::newRow("single line, 5") << int(kEdit) << 5 << "abcdefg" << "abcde";
    QTest::newRow("single line, 12 machine digits") << int(kEdit) << 12 << "1234567890123" << "123456789012";
    QTest::newRow("multi-line, 3") << int(kMultiEdit) << 3 << "abcdef" << "abc";
    QTest::newRow("Chinese counts characters") << int(kEdit) << 2 << "发送数据" << "发送";
    // 0 removes the limit.
    QTest::newRow("no limit") << int(kEdit) << 0 << "abcdefg" << "abcdefg";
}

void TestWindowControls::limitText()
{
    QFETCH(int, id);
    QFETCH(int, limit);
    QFETCH(QString, typed);
    QFETCH(QString, textAfter);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    SendDlgItemMessageA(dlg, id, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    MessageLog().clear();
    PlatTestType(dlg, id, typed.toStdString());
    QCOMPARE(QString::fromStdString(PlatTestText(dlg, id)), textAfter);
    QCOMPARE(CommandCount(id, EN_CHANGE), int(textAfter.size()));

    // The program may still set a longer text: the limit is for the user.
    QVERIFY(SetDlgItemTextA(dlg, id, "0123456789abcdef"));
    QCOMPARE(PlatTestText(dlg, id), std::string("0123456789abcdef"));
}

void TestWindowControls::editFocusNotifications()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    QVERIFY(PlatTestWaitFor([&] { return PlatTestWidget(dlg)->isActiveWindow(); }, 5000));
    SetFocus(GetDlgItem(dlg, kPush));
    MessageLog().clear();
    // EN_SETFOCUS when the edit gets the focus, EN_KILLFOCUS when it goes.
    QCOMPARE(SetFocus(GetDlgItem(dlg, kEdit)), GetDlgItem(dlg, kPush));
    QCOMPARE(CommandCount(kEdit, EN_SETFOCUS), 1);
    QCOMPARE(CommandCount(kEdit, EN_KILLFOCUS), 0);
    SetFocus(GetDlgItem(dlg, kMultiEdit));
    QCOMPARE(CommandCount(kEdit, EN_KILLFOCUS), 1);
    QCOMPARE(CommandCount(kMultiEdit, EN_SETFOCUS), 1);
}

void TestWindowControls::textIsCutOnCharacters_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<QString>("expected");
    // "输入框:" is 3 + 3 + 3 + 1 UTF-8 bytes. A short buffer gets whole
    // characters only, always NUL-terminated.
    QTest::newRow("room for all") << 11 << "输入框:";
    QTest::newRow("one byte short") << 10 << "输入框";
    QTest::newRow("inside the second character") << 5 << "输";
    QTest::newRow("too small for one character") << 3 << "";
    QTest::newRow("only the NUL") << 1 << "";
}

void TestWindowControls::textIsCutOnCharacters()
{
    QFETCH(int, bufferSize);
    QFETCH(QString, expected);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    const UINT n = GetDlgItemTextA(dlg, kLabel, buffer, bufferSize);
    QCOMPARE(n, UINT(expected.toUtf8().size()));
    QCOMPARE(buffer[n], '\0');
    QCOMPARE(QString::fromUtf8(buffer), expected);
    QCOMPARE(buffer[bufferSize], 'x'); // nothing written past the buffer
}

void TestWindowControls::combo()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    HWND combo = GetDlgItem(dlg, kCombo);
    MessageLog().clear();
    // Rows are appended; adding selects nothing.
    QCOMPARE(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("COM1")), LRESULT(0));
    QCOMPARE(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("COM2")), LRESULT(1));
    QCOMPARE(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("硬件")), LRESULT(2));
    QCOMPARE(SendMessageA(combo, CB_GETCOUNT, 0, 0), LRESULT(3));
    QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(CB_ERR));
    // CB_SETCURSEL selects quietly; a bad index clears the selection and fails.
    QCOMPARE(SendMessageA(combo, CB_SETCURSEL, 2, 0), LRESULT(2));
    QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(2));
    QCOMPARE(PlatTestWindowText(combo), std::string("硬件"));
    QCOMPARE(SendMessageA(combo, CB_SETCURSEL, 7, 0), LRESULT(CB_ERR));
    QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(CB_ERR));
    QCOMPARE(CommandCount(kCombo, CBN_SELCHANGE), 0);
    // Row texts in UTF-8 bytes.
    QCOMPARE(SendMessageA(combo, CB_GETLBTEXTLEN, 2, 0), LRESULT(6));
    char row[16] = {};
    QCOMPARE(SendMessageA(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(row)), LRESULT(6));
    QCOMPARE(std::string(row), std::string("硬件"));
    QCOMPARE(SendMessageA(combo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(row)), LRESULT(CB_ERR));
    // Emptied, it has no rows and no selection, and says nothing about it.
    SendMessageA(combo, CB_SETCURSEL, 1, 0);
    QVERIFY(SendMessageA(combo, CB_RESETCONTENT, 0, 0));
    QCOMPARE(SendMessageA(combo, CB_GETCOUNT, 0, 0), LRESULT(0));
    QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(CB_ERR));
    QCOMPARE(CommandCount(kCombo, CBN_SELCHANGE), 0);
}

void TestWindowControls::comboUserChoice_data()
{
    QTest::addColumn<int>("before"); // -1: nothing selected
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("selChanges");
    // A user's choice of another row sends CBN_SELCHANGE once.
    QTest::newRow("first choice") << -1 << 1 << 1;
    QTest::newRow("another row") << 0 << 2 << 1;
    // Choosing the row already selected changes nothing.
    QTest::newRow("same row") << 2 << 2 << 0;
}

void TestWindowControls::comboUserChoice()
{
    QFETCH(int, before);
    QFETCH(int, row);
    QFETCH(int, selChanges);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    for (const char* s : {"9600", "19200", "115200"})
        SendDlgItemMessageA(dlg, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    SendDlgItemMessageA(dlg, kCombo, CB_SETCURSEL, static_cast<WPARAM>(before), 0);
    MessageLog().clear();
    QVERIFY(PlatTestSelectComboRow(dlg, kCombo, row));
    QCOMPARE(SendDlgItemMessageA(dlg, kCombo, CB_GETCURSEL, 0, 0), LRESULT(row));
    QCOMPARE(CommandCount(kCombo, CBN_SELCHANGE), selChanges);
    QCOMPARE(MessageCount(WM_COMMAND), CommandCount(kCombo, CBN_SELCHANGE) + CommandCount(kCombo, 0));
}

void TestWindowControls::statusBar()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SBARS_SIZEGRIP, "", dlg, 2001);
    QVERIFY(bar);
    QCOMPARE(GetDlgItem(dlg, 2001), bar);
    QCOMPARE(GetParent(bar), dlg);
    // A new bar has one part that runs to the end.
    int edges[4] = {};
    QCOMPARE(SendMessageA(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), LRESULT(1));
    QCOMPARE(edges[0], -1);

    // Two parts as the console sets them: right edges from the client width.
    RECT client;
    QVERIFY(GetClientRect(dlg, &client));
    const int w = client.right;
    int parts[2] = {(w * 3 / 4) * 2 / 3, w * 3 / 4};
    QVERIFY(SendMessageA(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts)));
    QCOMPARE(SendMessageA(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), LRESULT(2));
    QCOMPARE(edges[0], parts[0]);
    QCOMPARE(edges[1], parts[1]);
    // SB_GETPARTS with room for fewer copies fewer, and still counts them all.
    edges[1] = 12345;
    QCOMPARE(SendMessageA(bar, SB_GETPARTS, 1, reinterpret_cast<LPARAM>(edges)), LRESULT(2));
    QCOMPARE(edges[1], 12345);

    // Texts by part in the low byte of wParam; the high byte (drawing type) is not the part.
    QVERIFY(SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("请选择打印接口")));
    QVERIFY(SendMessageA(bar, SB_SETTEXTA, 1 | 0x0100, reinterpret_cast<LPARAM>("已发送字节数 3")));
    QCOMPARE(PlatTestStatusText(dlg, 2001, 0), std::string("请选择打印接口"));
    QCOMPARE(PlatTestStatusText(dlg, 2001, 1), std::string("已发送字节数 3"));
    char text[64];
    QCOMPARE(LOWORD(SendMessageA(bar, SB_GETTEXTA, 1, reinterpret_cast<LPARAM>(text))), WORD(std::strlen("已发送字节数 3")));
    QCOMPARE(std::string(text), std::string("已发送字节数 3"));
    // A part that does not exist takes no text.
    QVERIFY(!SendMessageA(bar, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>("x")));
    QCOMPARE(PlatTestStatusText(dlg, 2001, 2), std::string());
    QCOMPARE(MessageCount(WM_COMMAND), 0);

    // MoveWindow with zeros: the bar puts itself along the bottom, full width.
    QVERIFY(MoveWindow(bar, 0, 0, 0, 0, TRUE));
    RECT barRect, dlgRect, barClient;
    GetWindowRect(bar, &barRect);
    GetClientRect(bar, &barClient);
    QCOMPARE(barClient.right, client.right);
    QVERIFY(barClient.bottom > 0 && barClient.bottom < client.bottom / 2);
    GetWindowRect(dlg, &dlgRect);
    QCOMPARE(barRect.right - barRect.left, client.right);
    QVERIFY(barRect.bottom <= dlgRect.bottom);
    QVERIFY(barRect.bottom >= dlgRect.bottom - 2 * (barClient.bottom));
    QVERIFY(PlatTestWidget(bar)->isVisible());
}

void TestWindowControls::statusBarInTemplateAndDestroy()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "start", dlg, 2001);
    QCOMPARE(PlatTestStatusText(dlg, 2001, 0), std::string("start"));
    // WM_SETTEXT and SetWindowText go to part 0.
    QVERIFY(SetWindowTextA(bar, "打开端口失败!"));
    QCOMPARE(PlatTestStatusText(dlg, 2001, 0), std::string("打开端口失败!"));
    QCOMPARE(PlatTestWindowText(bar), std::string("打开端口失败!"));
    // Destroyed, the handle is dead: calls fail and return 0.
    QVERIFY(DestroyWindow(bar));
    QVERIFY(!IsWindow(bar));
    QVERIFY(!DestroyWindow(bar));
    QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    QCOMPARE(SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("x")), LRESULT(0));
    QCOMPARE(GetDlgItem(dlg, 2001), HWND(nullptr));
    QVERIFY(!SetWindowTextA(bar, "x"));
    RECT r;
    QVERIFY(!GetClientRect(bar, &r));
    QVERIFY(IsWindow(dlg));
}

void TestWindowControls::dialogUnits_data()
{
    QTest::addColumn<QRect>("units"); // left, top, right, bottom in dialog units
    // x * baseX / 4 and y * baseY / 8, rounded to the nearest pixel (halves
    // away from zero).
    QTest::newRow("one base unit") << QRect(QPoint(4, 8), QPoint(8, 16));
    QTest::newRow("console size") << QRect(QPoint(0, 0), QPoint(264, 178));
    QTest::newRow("odd values") << QRect(QPoint(1, 3), QPoint(7, 11));
    QTest::newRow("spread") << QRect(QPoint(10, 21), QPoint(101, 53));
    QTest::newRow("negative") << QRect(QPoint(-3, -5), QPoint(-1, -7));
}

void TestWindowControls::dialogUnits()
{
    QFETCH(QRect, units);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    // The base units of the template's font: average width of A..Z a..z and height.
    QFont font = QApplication::font();
    font.setFamily("System");
    font.setPointSize(10);
    const QFontMetrics fm(font);
    const int baseX = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 26) / 52;
    const int baseY = fm.height();
    // Halves round away from zero, as Windows' MulDiv.
    auto px = [](int v, int base, int div) {
        const int q = (std::abs(v * base) + div / 2) / div;
        return v < 0 ? -q : q;
    };

    RECT r{units.left(), units.top(), units.right(), units.bottom()};
    QVERIFY(MapDialogRect(dlg, &r));
    QCOMPARE(r.left, LONG(px(units.left(), baseX, 4)));
    QCOMPARE(r.top, LONG(px(units.top(), baseY, 8)));
    QCOMPARE(r.right, LONG(px(units.right(), baseX, 4)));
    QCOMPARE(r.bottom, LONG(px(units.bottom(), baseY, 8)));

    // The dialog's client area is its template size in dialog units.
    RECT client;
    GetClientRect(dlg, &client);
    QCOMPARE(client.right, LONG(px(220, baseX, 4)));
    QCOMPARE(client.bottom, LONG(px(210, baseY, 8)));

    // GetDialogBaseUnits gives the application font's units.
    const QFontMetrics app(QApplication::font());
    const LONG units0 = GetDialogBaseUnits();
    QCOMPARE(int(LOWORD(units0)), (app.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 26) / 52);
    QCOMPARE(int(HIWORD(units0)), app.height());
}

void TestWindowControls::controlsArePlacedInDialogUnits_data()
{
    QTest::addColumn<QRect>("units"); // x, y, cx, cy of a static in dialog units
    QTest::newRow("the console's send button") << QRect(4, 70, 50, 14);
    // Controls may sit partly outside their dialog: negative positions round
    // as MapDialogRect rounds them (halves away from zero), not toward zero.
    QTest::newRow("-1, -1") << QRect(-1, -1, 9, 9);
    QTest::newRow("-2, -3") << QRect(-2, -3, 10, 11);
    QTest::newRow("-3, -5") << QRect(-3, -5, 11, 13);
    QTest::newRow("-5, -7") << QRect(-5, -7, 13, 15);
    QTest::newRow("-7, -9") << QRect(-7, -9, 15, 17);
}

void TestWindowControls::controlsArePlacedInDialogUnits()
{
    QFETCH(QRect, units);
    const auto dlu = [](int v) { return static_cast<short>(v); };
    const DlgItemTemplate items[] = {{kLabel, "STATIC", WS_CHILD | WS_VISIBLE | SS_LEFT, "x", dlu(units.x()),
                                      dlu(units.y()), dlu(units.width()), dlu(units.height())}};
    const DlgTemplate tpl{9200, nullptr, WS_POPUP | WS_CAPTION | DS_SETFONT, 0, 0, 100, 60, "Units", 0, "System", 10,
                          items};
    PlatTestAddDialogTemplate(&tpl);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(9200), nullptr, LoggingDlgProc);
    // Position and size convert each on its own, as Windows does it.
    RECT expected{units.x(), units.y(), units.width(), units.height()};
    MapDialogRect(dlg, &expected);
    RECT control, client;
    GetWindowRect(GetDlgItem(dlg, kLabel), &control);
    GetClientRect(GetDlgItem(dlg, kLabel), &client);
    const QPoint origin = PlatTestWidget(GetDlgItem(dlg, kLabel))->parentWidget()->mapToGlobal(QPoint(0, 0));
    QCOMPARE(control.left - origin.x(), expected.left);
    QCOMPARE(control.top - origin.y(), expected.top);
    QCOMPARE(client.right, expected.right);
    QCOMPARE(client.bottom, expected.bottom);
    PlatTestDestroyAll();
    PlatTestClearDialogTemplates();
    RegisterTestTemplates();
}

namespace {

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

void TestWindowControls::reportsDrawAtMostOncePerFrame_data()
{
    QTest::addColumn<QString>("control");
    // A worker's reports may change a control every few microseconds: the
    // text is there at once for the program, the screen catches up at most
    // once a frame (16 ms) and shows the last one.
    QTest::newRow("status bar part 1, SB_SETTEXT") << "status bar";
    QTest::newRow("static, WM_SETTEXT") << "static";
    QTest::newRow("single-line edit, WM_SETTEXT") << "edit";
}

void TestWindowControls::reportsDrawAtMostOncePerFrame()
{
    QFETCH(QString, control);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    HWND target = GetDlgItem(dlg, control == "static" ? kLabel : kEdit);
    UINT message = WM_SETTEXT;
    WPARAM part = 0;
    if (control == "status bar") {
        target = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", dlg, 2001);
        int edges[] = {100, -1};
        QVERIFY(SendMessageA(target, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges)));
        message = SB_SETTEXTA;
        part = 1;
    }
    PaintCounter counter;
    PlatTestWidget(target)->installEventFilter(&counter);
    PlatTestWaitFor([&] { return counter.paints >= 1; }, 2000); // its first paint, as it is shown
    counter.paints = 0;

    QElapsedTimer clock;
    clock.start();
    std::string text;
    for (int i = 1; i <= 300; ++i) {
        text = "已发送数据:" + std::to_string(i * 256) + "字节";
        SendMessageA(target, message, part, reinterpret_cast<LPARAM>(text.c_str()));
        const std::string back =
            control == "status bar" ? PlatTestStatusText(dlg, 2001, 1) : PlatTestWindowText(target);
        QCOMPARE(back, text);
        QCoreApplication::processEvents(); // the loop runs between reports, as between a worker's
    }
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(counter.paints <= elapsed / 16 + 3,
             qPrintable(QString("%1 paints in %2 ms").arg(counter.paints).arg(elapsed)));
    // The screen catches up with the last text.
    QWidget* widget = PlatTestWidget(target);
    QVERIFY(PlatTestWaitFor(
        [&] {
            if (auto* label = qobject_cast<QLabel*>(widget))
                return label->text().toStdString() == text;
            if (auto* edit = qobject_cast<QLineEdit*>(widget))
                return edit->text().toStdString() == text;
            return counter.paints >= 1;
        },
        2000));
}

void TestWindowControls::userWorksOnTheLastTextSet_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("action"); // "type" or "replace"
    QTest::addColumn<QString>("textAfter");
    // Two texts set within one frame, the screen still shows the first:
    // what the user types and EM_REPLACESEL land on the second.
    QTest::newRow("typing, single line") << int(kEdit) << "type" << "1B 40 0A";
    QTest::newRow("typing, multi-line") << int(kMultiEdit) << "type" << "1B 40 0A";
    QTest::newRow("EM_REPLACESEL at the end") << int(kEdit) << "replace" << "1B 40 0A";
}

void TestWindowControls::userWorksOnTheLastTextSet()
{
    QFETCH(int, id);
    QFETCH(QString, action);
    QFETCH(QString, textAfter);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    QVERIFY(SetDlgItemTextA(dlg, id, "1B"));
    QVERIFY(SetDlgItemTextA(dlg, id, "1B 40"));
    if (action == "type") {
        QVERIFY(PlatTestFocus(dlg, id));
        QTest::keyClick(PlatTestWidget(GetDlgItem(dlg, id)), Qt::Key_End);
        QVERIFY(PlatTestType(dlg, id, " 0A"));
    } else {
        SendDlgItemMessageA(dlg, id, EM_SETSEL, 5, 5);
        SendDlgItemMessageA(dlg, id, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(" 0A"));
    }
    QCOMPARE(QString::fromStdString(PlatTestText(dlg, id)), textAfter);
}

void TestWindowControls::pictures()
{
    const ImageResource* bitmap = ResFindImage(ResImageKind::Bitmap, IDB_MAIN_PICTURE);
    const ImageResource* icon = ResFindImage(ResImageKind::Icon, IDI_MPTEST);
    if (!bitmap || !icon)
        QSKIP("the program has no pictures yet");
    QImage full;
    QVERIFY(full.loadFromData(bitmap->bytes.data(), int(bitmap->bytes.size()), "PNG"));
    // A picture smaller than the bitmap: the bitmap keeps its own size and
    // the control clips it; an icon shows at its own size too.
    static const DlgItemTemplate items[] = {
        {IDC_MAIN_PICTURE, "STATIC", WS_CHILD | WS_VISIBLE | SS_BITMAP, "", 0, 0, 50, 30, IDB_MAIN_PICTURE},
        {-1, "STATIC", WS_CHILD | WS_VISIBLE | SS_ICON, "", 60, 0, 20, 20, IDI_MPTEST},
    };
    static const DlgTemplate tpl = {9200, nullptr, WS_POPUP | WS_CAPTION, 0, 0, 100, 40, "Pictures", 0, "System", 10, items};
    PlatTestAddDialogTemplate(&tpl);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(9200), nullptr, LoggingDlgProc);
    auto* picture = qobject_cast<QLabel*>(PlatTestWidget(GetDlgItem(dlg, IDC_MAIN_PICTURE)));
    QVERIFY(picture);
    QCOMPARE(picture->pixmap().size(), full.size());
    RECT units{0, 0, 50, 30};
    MapDialogRect(dlg, &units);
    QCOMPARE(picture->size(), QSize(units.right, units.bottom));
    QVERIFY(picture->width() < full.width());
    const QList<QLabel*> labels = PlatTestWidget(dlg)->findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return !l->pixmap().isNull() && l->pixmap().width() <= 64; }));
}

void TestWindowControls::tabControl_data()
{
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<int>("selectedAfter");
    QTest::addColumn<std::vector<UINT>>("codes");
    // A click on another tab: TCN_SELCHANGING, the change, TCN_SELCHANGE.
    QTest::newRow("allowed") << false << 1 << std::vector<UINT>{TCN_SELCHANGING, TCN_SELCHANGE};
    // TRUE in DWLP_MSGRESULT for TCN_SELCHANGING keeps the tab.
    QTest::newRow("refused") << true << 2 << std::vector<UINT>{TCN_SELCHANGING};
}

void TestWindowControls::tabControl()
{
    QFETCH(bool, refuse);
    QFETCH(int, selectedAfter);
    QFETCH(std::vector<UINT>, codes);
    static const DlgItemTemplate items[] = {
        {1236, "SysTabControl32", WS_CHILD | WS_VISIBLE | WS_TABSTOP, "", 10, 10, 200, 100},
    };
    static const DlgTemplate tpl = {9300, nullptr, WS_POPUP | WS_CAPTION, 0, 0, 220, 120, "Tabs", 0, "System", 10, items};
    PlatTestAddDialogTemplate(&tpl);
    gTabCodes.clear();
    gRefuseTab = refuse;
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(9300), nullptr, TabHostProc);
    HWND tab = GetDlgItem(dlg, 1236);
    QVERIFY(tab);
    // Inserting and selecting by the program notifies nobody; the first
    // tab inserted is the selection.
    const char* texts[] = {"西文字符", "中文字符", "黑标测试"};
    for (int i = 0; i < 3; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(texts[i]);
        item.iImage = -1;
        QCOMPARE(SendMessageA(tab, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)), LRESULT(i));
    }
    QCOMPARE(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), LRESULT(3));
    QCOMPARE(SendMessageA(tab, TCM_GETCURSEL, 0, 0), LRESULT(0));
    QCOMPARE(SendMessageA(tab, TCM_SETCURSEL, 2, 0), LRESULT(0)); // answers the old selection
    QCOMPARE(SendMessageA(tab, TCM_SETCURSEL, 9, 0), LRESULT(-1));
    QVERIFY(gTabCodes.empty());

    PlatTestSelectTab(dlg, 1236, 1);
    QCOMPARE(SendMessageA(tab, TCM_GETCURSEL, 0, 0), LRESULT(selectedAfter));
    QCOMPARE(gTabCodes, codes);

    // TCM_ADJUSTRECT: TRUE grows a display area into the window rectangle,
    // FALSE shrinks it back.
    RECT r{0, 0, 300, 200};
    SendMessageA(tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&r));
    QVERIFY(r.left < 0 && r.top < 0 && r.right > 300 && r.bottom > 200);
    SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    QCOMPARE(r.left, LONG(0));
    QCOMPARE(r.top, LONG(0));
    QCOMPARE(r.right, LONG(300));
    QCOMPARE(r.bottom, LONG(200));
}

PLAT_TEST_MAIN(TestWindowControls)
#include "tst_window_controls.moc"
