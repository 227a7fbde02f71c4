// The window layer's edits, combo boxes, status bars and dialog units
// against what Windows does. The tables that need no Qt widget run on
// Windows itself too (see window_fixture.h).
#include "ui/support/window_fixture.h"

#include "res/resource.h"
#include "res/resources.h"

#ifndef _WIN32
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace {

std::vector<UINT> gTabCodes;

// Logs the tab control's notifications.
INT_PTR CALLBACK TabHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
#ifdef _WIN32
        // Windows' tab control also sends NM_CLICK; our Qt layer leaves it
        // out on purpose, as the program handles none.
        if (hdr->code == static_cast<UINT>(NM_CLICK))
            return FALSE;
#endif
        if (hdr->hwndFrom == GetDlgItem(window, kTab) && hdr->idFrom == kTab && wParam == kTab)
            gTabCodes.push_back(hdr->code);
    }
    return message == WM_INITDIALOG;
}

LRESULT InsertTab(HWND dlg, int index, const char* text)
{
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(text);
    item.iImage = -1;
    return SendDlgItemMessageA(dlg, kTab, TCM_INSERTITEMA, WPARAM(index), reinterpret_cast<LPARAM>(&item));
}

#ifndef _WIN32
// Counts a widget's paints and keeps what the last one showed.
struct PaintCounter : QObject {
    std::function<std::string()> shown;
    int paints = 0;
    std::string lastShown;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            lastShown = shown();
        }
        return false;
    }
};
#endif

} // namespace

class TestWindowControls : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestTemplates(); }
    void cleanup()
    {
        PlatTestDestroyAll();
        RegisterTestTemplates(); // drops the templates a test added
    }

    void editText()
    {
        enum Action { Type, TypeRefused, Set, TypeAtEnd };
        struct Case {
            const char* name;
            int id;
            Action action;
            const char* input;
            int changes; // EN_CHANGE
            const char* textAfter;
        };
        const Case cases[] = {
            // Every typed character is one EN_CHANGE; a line break typed into
            // an ES_WANTRETURN edit is one too, and comes back as CR LF.
            {"typing, single line", kEdit, Type, "abc", 3, "abc"},
            {"typing, multi-line", kMultiEdit, Type, "ab", 2, "ab"},
            {"line break, ES_WANTRETURN", kWantReturnEdit, Type, "a\nb", 3, "a\r\nb"},
            // A read-only edit takes no typing and reports nothing.
            {"typing, read-only", kReadOnlyEdit, TypeRefused, "x", 0, "fixed"},
            // SetWindowText on a single-line edit sends one EN_CHANGE, even
            // when the text does not change; on a multi-line edit none, and
            // CR LF goes in and comes out unchanged.
            {"set, single line", kEdit, Set, "hello", 1, "hello"},
            {"set empty, single line", kEdit, Set, "", 1, ""},
            {"set, multi-line", kMultiEdit, Set, "1B 40\r\n0A", 0, "1B 40\r\n0A"},
            // Two texts set within one frame, the screen still shows the
            // first: what the user types lands on the second.
            {"typing after two sets, single line", kEdit, TypeAtEnd, " 0A", 3, "1B 40 0A"},
            {"typing after two sets, multi-line", kMultiEdit, TypeAtEnd, " 0A", 3, "1B 40 0A"},
        };
        for (const Case& c : cases) {
            RowTrace trace{c.name};
            PlatTestDestroyAll();
            HWND dlg = OpenTestDialog(kTplControls);
            if (c.action == TypeAtEnd) {
                QVERIFY(SetDlgItemTextA(dlg, c.id, "1B"));
                QVERIFY(SetDlgItemTextA(dlg, c.id, "1B 40"));
            }
            MessageLog().clear();
            switch (c.action) {
            case TypeRefused:
                PlatTestExpectMiss();
                [[fallthrough]];
            case Type:
                PlatTestType(dlg, c.id, c.input);
                break;
            case Set:
                QVERIFY(SetDlgItemTextA(dlg, c.id, c.input));
                break;
            case TypeAtEnd:
                QVERIFY(PlatTestFocus(dlg, c.id));
                QVERIFY(PlatTestKey(dlg, Qt::Key_End));
                QVERIFY(PlatTestType(dlg, c.id, c.input));
                break;
            }
            QCOMPARE(CommandCount(c.id, EN_CHANGE), c.changes);
            QCOMPARE(MessageCount(WM_COMMAND), c.changes + CommandCount(c.id, EN_SETFOCUS)); // nothing else
            char buffer[64];
            QCOMPARE(GetDlgItemTextA(dlg, c.id, buffer, sizeof buffer), UINT(std::strlen(c.textAfter)));
            QCOMPARE(std::string(buffer), std::string(c.textAfter));
        }
    }

    void textIsCutOnCharacters()
    {
        // "输入框:" is 3 + 3 + 3 + 1 UTF-8 bytes. A short buffer gets whole
        // characters only, always NUL-terminated, and nothing past its end.
        HWND dlg = OpenTestDialog(kTplControls);
        const std::pair<int, std::string> cases[] = {{11, "输入框:"}, {10, "输入框"}, {5, "输"}, {3, ""}, {1, ""}};
        for (const auto& [bufferSize, expected] : cases) {
            char buffer[32];
            std::memset(buffer, 'x', sizeof buffer);
            const UINT n = GetDlgItemTextA(dlg, kLabel, buffer, bufferSize);
            QCOMPARE(n, UINT(expected.size()));
            QCOMPARE(std::string(buffer), expected);
            QCOMPARE(buffer[bufferSize], 'x');
        }
    }

#ifndef _WIN32 // Qt's own focus reasons
    void editFocusNotifications()
    {
        HWND dlg = OpenTestDialog(kTplControls);
        QVERIFY(PlatTestWaitFor([&] { return PlatTestWidget(dlg)->isActiveWindow(); }, 5000));
        // The user moves the focus (the program never does).
        const auto focus = [&](int id) { PlatTestWidget(GetDlgItem(dlg, id))->setFocus(Qt::TabFocusReason); };
        focus(kPush);
        MessageLog().clear();
        // EN_SETFOCUS when the edit gets the focus, EN_KILLFOCUS when it goes.
        focus(kEdit);
        QCOMPARE(CommandCount(kEdit, EN_SETFOCUS), 1);
        QCOMPARE(CommandCount(kEdit, EN_KILLFOCUS), 0);
        focus(kMultiEdit);
        QCOMPARE(CommandCount(kEdit, EN_KILLFOCUS), 1);
        QCOMPARE(CommandCount(kMultiEdit, EN_SETFOCUS), 1);
    }
#endif

    void combo()
    {
        HWND dlg = OpenTestDialog(kTplControls);
        HWND combo = GetDlgItem(dlg, kCombo);
        // Rows in order and CB_SETCURSEL's choice: tst_ports. Adding selects
        // nothing; CB_SETCURSEL selects quietly, a bad index clears the
        // selection and fails.
        for (LPARAM i = 0; i < 3; ++i)
            QCOMPARE(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(i < 2 ? "COM1" : "硬件")), i);
        QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(CB_ERR));
        QCOMPARE(SendMessageA(combo, CB_SETCURSEL, 2, 0), LRESULT(2));
        QCOMPARE(PlatTestWindowText(combo), std::string("硬件"));
        QCOMPARE(SendMessageA(combo, CB_SETCURSEL, 7, 0), LRESULT(CB_ERR));
        if (!WineDiffers("Wine's CB_SETCURSEL keeps the selection when the index is bad"))
            QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(CB_ERR));
        QCOMPARE(CommandCount(kCombo, CBN_SELCHANGE), 0);

        // A user's choice of another row sends CBN_SELCHANGE once; choosing
        // the row already selected changes nothing.
        const std::array<int, 3> choices[] = {{-1, 1, 1}, {0, 2, 1}, {2, 2, 0}}; // before, row, changes
        for (const auto& [before, choice, changes] : choices) {
            if (before == choice && WineDiffers("Wine's list sends CBN_SELCHANGE for a click on the row already chosen"))
                continue;
            SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(before), 0);
            MessageLog().clear();
            QVERIFY(PlatTestSelectComboRow(dlg, kCombo, choice));
            QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(choice));
            // Nothing else: the program's procedures act on the id alone.
            QCOMPARE(CommandCount(kCombo, CBN_SELCHANGE), changes);
            QCOMPARE(MessageCount(WM_COMMAND), changes);
        }

        // CB_RESETCONTENT empties the list and its selection, quietly.
        MessageLog().clear();
        const LRESULT reset = SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        if (!WineDiffers("Wine's CB_RESETCONTENT answers TRUE, not the documented CB_OKAY"))
            QCOMPARE(reset, LRESULT(CB_OKAY));
        QCOMPARE(SendMessageA(combo, CB_GETCOUNT, 0, 0), LRESULT(0));
        QCOMPARE(SendMessageA(combo, CB_GETCURSEL, 0, 0), LRESULT(CB_ERR));
        QCOMPARE(MessageCount(WM_COMMAND), 0);
    }

    void statusBar()
    {
        HWND dlg = OpenTestDialog(kTplControls);
        HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SBARS_SIZEGRIP, "start", dlg, 2001);
        QCOMPARE(PlatTestStatusText(dlg, 2001, 0), std::string("start")); // the text it was made with

        // Two parts as the console sets them: right edges from the client width.
        RECT client;
        QVERIFY(GetClientRect(dlg, &client));
        const int w = client.right;
        int parts[2] = {(w * 3 / 4) * 2 / 3, w * 3 / 4};
        QVERIFY(SendMessageA(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts)));

        // The texts by part: the consoles' tests. The high byte of wParam
        // (drawing type) is not the part, and a part that does not exist
        // takes no text.
        QVERIFY(SendMessageA(bar, SB_SETTEXTA, 1 | 0x0100, reinterpret_cast<LPARAM>("已发送字节数 3")));
        QCOMPARE(PlatTestStatusText(dlg, 2001, 1), std::string("已发送字节数 3"));
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
        QVERIFY(barRect.bottom <= dlgRect.bottom && barRect.bottom >= dlgRect.bottom - 2 * barClient.bottom);
        QVERIFY(IsWindowVisible(bar));

        // Destroyed, the bar is gone from its dialog, which lives on (calls
        // on a dead handle: tst_window_dialogs).
        QVERIFY(DestroyWindow(bar));
        QCOMPARE(GetDlgItem(dlg, 2001), HWND(nullptr));
        QVERIFY(IsWindow(dlg));
    }

#ifndef _WIN32 // Qt's font metrics, paints and labels
    void statusBarPaint()
    {
        // A report repaints only the part it changed: what the bar shows must
        // still be what a whole paint draws, and a part's text must never
        // spill into the next part.
        HWND dlg = OpenTestDialog(kTplControls);
        HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", dlg, 2001);
        QWidget* widget = PlatTestWidget(bar);
        const int parts[2] = {60, -1};
        QVERIFY(SendMessageA(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts)));
        // What the window holds, not a fresh paint of the bar.
        const auto shown = [&] {
            QWidget* top = widget->window();
            const QPoint at = widget->mapTo(top, QPoint());
            return top->screen()->grabWindow(top->winId(), at.x(), at.y(), widget->width(), widget->height()).toImage();
        };
        const auto part0 = [](const QImage& i) { return i.copy(0, 0, 60, i.height()); };
        const auto part1 = [](const QImage& i) { return i.copy(60, 0, i.width() - 60, i.height()); };
        // Each change is waited for until the window shows it (a frame's
        // wait, then its paint), a second at the most.
        QVERIFY(QTest::qWaitForWindowExposed(widget->window()));
        widget->repaint(); // the empty bar, painted and in the window
        const QImage blank = shown();
        SendMessageA(bar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("已发送字节数 3"));
        QTRY_VERIFY_WITH_TIMEOUT(shown() != blank, 1000);
        const QImage three = shown();
        SendMessageA(bar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("已发送字节数 3888888"));
        QTRY_VERIFY_WITH_TIMEOUT(shown() != three, 1000);
        SendMessageA(bar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("已发送字节数 3"));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), three, 1000); // nothing of the longer count left behind
        widget->repaint();
        QCOMPARE(shown(), three);

        // Part 0 is 60 pixels wide: a long text is cut there, and part 1
        // looks as before.
        SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("发送指令长度 123456789012字节"));
        QTRY_VERIFY_WITH_TIMEOUT(part0(shown()) != part0(three), 1000);
        QCOMPARE(part1(shown()), part1(three));
        widget->repaint(); // and a whole paint keeps it there
        QCOMPARE(part1(shown()), part1(three));
        QCOMPARE(PlatTestStatusText(dlg, 2001, 0), std::string("发送指令长度 123456789012字节"));
        DestroyWindow(bar);
    }

    void dialogUnits()
    {
        // x, y, cx, cy of a control in dialog units. Each converts on its own,
        // x * baseX / 4 and y * baseY / 8 rounded to the nearest pixel, halves
        // away from zero as Windows' MulDiv: negative positions (a control
        // partly outside its dialog) too, not toward zero.
        const std::array<short, 4> rows[] = {{4, 8, 8, 16},   {4, 70, 50, 14},  {0, 0, 264, 178},
                                             {1, 3, 7, 11},   {10, 21, 101, 53}, {-1, -1, 9, 9},
                                             {-2, -3, 10, 11}, {-3, -5, 11, 13}, {-5, -7, 13, 15},
                                             {-7, -9, 15, 17}};
        std::vector<DlgItemTemplate> items;
        for (const auto& [x, y, cx, cy] : rows)
            items.push_back({int(1000 + items.size()), "STATIC", WS_CHILD | WS_VISIBLE | SS_LEFT, "x", x, y, cx, cy});
        const DlgTemplate tpl{9200, nullptr, WS_POPUP | WS_CAPTION | DS_SETFONT, 0, 0, 220, 210, "Units", 0, "System",
                              10, items};
        PlatTestAddDialogTemplate(&tpl);
        HWND dlg = OpenTestDialog(9200);

        // The base units of a font: the average width of A..Z a..z, and the height.
        const auto baseUnits = [](const QFont& font) {
            const QFontMetrics fm(font);
            return QPoint((fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 26) / 52,
                          fm.height());
        };
        QFont font = QApplication::font();
        font.setFamily("System");
        font.setPointSize(10);
        const QPoint base = baseUnits(font);
        const auto px = [](int v, int unit, int div) {
            const int q = (std::abs(v * unit) + div / 2) / div;
            return v < 0 ? -q : q;
        };
        const auto expected = [&](int x, int y, int cx, int cy) {
            return QRect(px(x, base.x(), 4), px(y, base.y(), 8), px(cx, base.x(), 4), px(cy, base.y(), 8));
        };
        for (size_t i = 0; i < std::size(rows); ++i) {
            const auto [x, y, cx, cy] = rows[i];
            HWND control = GetDlgItem(dlg, int(1000 + i));
            RECT window, client;
            GetWindowRect(control, &window);
            GetClientRect(control, &client);
            const QPoint origin = PlatTestWidget(control)->parentWidget()->mapToGlobal(QPoint(0, 0));
            QCOMPARE(QRect(window.left - origin.x(), window.top - origin.y(), client.right, client.bottom),
                     expected(x, y, cx, cy));
        }
        // The dialog's client area is its template size in dialog units.
        RECT client;
        GetClientRect(dlg, &client);
        QCOMPARE(QSize(client.right, client.bottom), expected(0, 0, 220, 210).size());
        // GetDialogBaseUnits gives the application font's units.
        const LONG units = GetDialogBaseUnits();
        QCOMPARE(QPoint(LOWORD(units), HIWORD(units)), baseUnits(QApplication::font()));
    }

    void reportsDrawAtMostOncePerFrame()
    {
        // A worker's reports may change a control every few microseconds: the
        // text is there at once for the program; the screen shows the first
        // change after a quiet frame at once, and the rest once the frame's
        // timer has run, with the last text. Counted, not timed: between the
        // reports posted events and paints run, as between a worker's, but no
        // timer, so a control that drew more than once in a frame would paint
        // more than once here.
        for (const int id : {2001, int(kLabel), int(kEdit)}) { // the status bar's part 1, a static, an edit
            RowTrace trace{id == kLabel ? "static" : id == kEdit ? "edit" : "status bar"};
            PlatTestDestroyAll();
            HWND dlg = OpenTestDialog(kTplControls);
            const bool isBar = id == 2001;
            HWND target = isBar ? CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", dlg, 2001) : GetDlgItem(dlg, id);
            int edges[] = {100, -1};
            QVERIFY(!isBar || SendMessageA(target, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges)));
            // What each paint shows: the bar draws its part texts, the others their text.
            PaintCounter counter;
            QWidget* widget = PlatTestWidget(target);
            counter.shown = [=] {
                return isBar ? PlatTestStatusText(dlg, 2001, 1) : widget->property("text").toString().toStdString();
            };
            widget->installEventFilter(&counter);
            QVERIFY(PlatTestWaitFor([&] { return counter.paints >= 1; }, 2000)); // its first paint, as it is shown
            QVERIFY(PlatTestWaitFor([&] { return PlatTestFrameOver(target); }, 2000)); // a quiet frame
            counter.paints = 0;

            std::string first, text;
            for (int i = 1; i <= 300; ++i) {
                text = "已发送数据:" + std::to_string(i * 256) + "字节";
                SendMessageA(target, isBar ? SB_SETTEXTA : WM_SETTEXT, isBar ? 1 : 0,
                             reinterpret_cast<LPARAM>(text.c_str()));
                QCOMPARE(isBar ? PlatTestStatusText(dlg, 2001, 1) : PlatTestWindowText(target), text);
                QCoreApplication::sendPostedEvents();
                if (i == 1)
                    first = text;
            }
            QCOMPARE(counter.paints, 1);
            QCOMPARE(counter.lastShown, first);
            // The frame's timer shows the last text.
            QVERIFY(PlatTestWaitFor([&] { return counter.lastShown == text; }, 2000));
            QCOMPARE(counter.paints, 2);
        }
    }

    void pictures()
    {
        const ImageResource* bitmap = ResFindImage(ResImageKind::Bitmap, IDB_MAIN_PICTURE);
        QVERIFY(bitmap && ResFindImage(ResImageKind::Icon, IDI_MPTEST));
        QImage full;
        QVERIFY(full.loadFromData(bitmap->bytes.data(), int(bitmap->bytes.size()), "PNG"));
        // A picture smaller than the bitmap: the bitmap keeps its own size and
        // the control clips it, keeping the size a text static of the same
        // template size has; an icon shows at its own size too.
        static const DlgItemTemplate items[] = {
            {IDC_MAIN_PICTURE, "STATIC", WS_CHILD | WS_VISIBLE | SS_BITMAP, "", 0, 0, 50, 30, IDB_MAIN_PICTURE},
            {-1, "STATIC", WS_CHILD | WS_VISIBLE | SS_ICON, "", 60, 0, 20, 20, IDI_MPTEST},
            {1299, "STATIC", WS_CHILD | WS_VISIBLE | SS_LEFT, "", 0, 0, 50, 30},
        };
        static const DlgTemplate tpl = {9200, nullptr, WS_POPUP | WS_CAPTION, 0, 0, 100, 40, "Pictures", 0, "System", 10, items};
        PlatTestAddDialogTemplate(&tpl);
        HWND dlg = OpenTestDialog(9200);
        auto* picture = qobject_cast<QLabel*>(PlatTestWidget(GetDlgItem(dlg, IDC_MAIN_PICTURE)));
        QVERIFY(picture);
        QCOMPARE(picture->pixmap().size(), full.size());
        QCOMPARE(picture->size(), PlatTestWidget(GetDlgItem(dlg, 1299))->size());
        QVERIFY(picture->width() < full.width());
        const QList<QLabel*> labels = PlatTestWidget(dlg)->findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(),
                            [](QLabel* l) { return !l->pixmap().isNull() && l->pixmap().width() <= 64; }));
    }

#endif

    void tabControl()
    {
        gTabCodes.clear();
        HWND dlg = OpenTestDialog(kTplControls, TabHostProc);
        HWND tab = GetDlgItem(dlg, kTab);
        // Inserting notifies nobody; the first tab inserted is the selection.
        const char* texts[] = {"西文字符", "中文字符", "黑标测试"};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(InsertTab(dlg, i, texts[i]), LRESULT(i));
        QCOMPARE(SendMessageA(tab, TCM_GETCURSEL, 0, 0), LRESULT(0));
        QVERIFY(gTabCodes.empty());

        // A click on another tab: TCN_SELCHANGING, the change, TCN_SELCHANGE
        // (the page the selection then shows: tst_test_dialog).
        QVERIFY(PlatTestSelectTab(dlg, kTab, 1));
        QCOMPARE(gTabCodes, (std::vector<UINT>{TCN_SELCHANGING, TCN_SELCHANGE}));

        // TCM_ADJUSTRECT: TRUE grows a display area into the window rectangle,
        // FALSE shrinks it back.
        RECT r{0, 0, 300, 200};
        SendMessageA(tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&r));
        QVERIFY(r.left < 0 && r.top < 0 && r.right > 300 && r.bottom > 200);
        SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
        QCOMPARE((std::array<LONG, 4>{r.left, r.top, r.right, r.bottom}), (std::array<LONG, 4>{0, 0, 300, 200}));
    }

#ifndef _WIN32 // our layer's answer to what it does not supply; Windows' controls handle these
    void messagesNobodyHandles()
    {
        // Messages the layer does not supply are answered 0 and change
        // nothing, as Windows answers a message a control ignores. The rows
        // are messages Windows has and the program never sends.
        HWND dlg = OpenTestDialog(kTplControls);
        QVERIFY(SetDlgItemTextA(dlg, kEdit, "abc"));
        QCOMPARE(SendDlgItemMessageA(dlg, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("COM1")), LRESULT(0));
        QCOMPARE(InsertTab(dlg, 0, "西文字符"), LRESULT(0));
        static const struct {
            const char* name;
            UINT message;
            WPARAM wParam;
        } rows[] = {
            {"EM_SETSEL", 0x00B1, 1},
            {"EM_REPLACESEL", 0x00C2, 0},
            {"EM_LIMITTEXT", 0x00C5, 1},
            {"CB_DELETESTRING", 0x0144, 0},
            {"TCM_GETITEMCOUNT", TCM_FIRST + 4, 0},
            {"TCM_SETCURSEL", TCM_FIRST + 12, 0},
            {"WM_USER+100", WM_USER + 100, 1},
        };
        for (const auto& row : rows) {
            RowTrace trace{row.name};
            for (int id : {kEdit, kMultiEdit, kCombo, kTab})
                QCOMPARE(SendDlgItemMessageA(dlg, id, row.message, row.wParam, reinterpret_cast<LPARAM>("x")), LRESULT(0));
            QCOMPARE(PlatTestText(dlg, kEdit), std::string("abc"));
            QCOMPARE(PlatTestText(dlg, kMultiEdit), std::string());
            QCOMPARE(SendDlgItemMessageA(dlg, kCombo, CB_GETCOUNT, 0, 0), LRESULT(1));
            QCOMPARE(SendDlgItemMessageA(dlg, kTab, TCM_GETCURSEL, 0, 0), LRESULT(0));
        }
    }
#endif
};

#ifdef _WIN32
WINDOW_TABLES_RUN(TestWindowControls)
{
    RUN_TABLE(editText);
    RUN_TABLE(textIsCutOnCharacters);
    RUN_TABLE(combo);
    RUN_TABLE(statusBar);
    RUN_TABLE(tabControl);
}
#else
PLAT_TEST_MAIN_WITH(TestWindowControls, ResRegister)
#include "tst_window_controls.moc"
#endif
