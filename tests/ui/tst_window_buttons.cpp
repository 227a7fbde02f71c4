// The window layer's buttons and dialog keys against what Windows does:
// auto radio groups, check boxes, disabled controls, Enter, Escape and the
// close box.
#include "ui/support/window_fixture.h"

namespace {

const QList<int> kRadios = {kRadioA1, kRadioA2, kRadioA3, kRadioB1, kRadioB2};

// Leaves WM_CLOSE to the default handling.
INT_PTR CALLBACK UnhandledCloseProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageLog().push_back({window, message, wParam, lParam});
    return message == WM_INITDIALOG;
}

} // namespace

class TestWindowButtons : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestTemplates(); }
    void init() { MessageLog().clear(); }
    void cleanup() { PlatTestDestroyAll(); }

    void autoRadioGroup_data();
    void autoRadioGroup();
    void checkBoxes_data();
    void checkBoxes();
    void programmaticChecks_data();
    void programmaticChecks();
    void disabledControlIgnoresClicks();
    void dialogKeys_data();
    void dialogKeys();
    void closeBoxSendsClose();
    void unhandledCloseBecomesCancel();
    void missedActionsFailWhereTheyHappen_data();
    void missedActionsFailWhereTheyHappen();
};

void TestWindowButtons::autoRadioGroup_data()
{
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QList<int>>("checkedAfter");
    // Start: A1 and B2 checked. A group runs from a WS_GROUP control to the
    // next one; a click checks the button and clears the other auto radio
    // buttons of its group only, then BN_CLICKED goes to the dialog.
    QTest::newRow("another button of the group") << int(kRadioA2) << QList<int>{kRadioA2, kRadioB2};
    QTest::newRow("last button of the group") << int(kRadioA3) << QList<int>{kRadioA3, kRadioB2};
    // Windows keeps a checked auto radio button checked when clicked again.
    QTest::newRow("the checked button again") << int(kRadioA1) << QList<int>{kRadioA1, kRadioB2};
    // The second group changes; the first is not touched.
    QTest::newRow("second group") << int(kRadioB1) << QList<int>{kRadioA1, kRadioB1};
}

void TestWindowButtons::autoRadioGroup()
{
    QFETCH(int, clicked);
    QFETCH(QList<int>, checkedAfter);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    QVERIFY(dlg);
    CheckDlgButton(dlg, kRadioA1, BST_CHECKED);
    CheckDlgButton(dlg, kRadioB2, BST_CHECKED);
    MessageLog().clear();

    QVERIFY(PlatTestClick(dlg, clicked));

    for (int id : kRadios)
        QCOMPARE(IsDlgButtonChecked(dlg, id) == BST_CHECKED, checkedAfter.contains(id));
    QCOMPARE(CommandCount(clicked, BN_CLICKED), 1);
    QCOMPARE(MessageCount(WM_COMMAND), 1);
    // lParam of the notification is the control's window.
    QCOMPARE(reinterpret_cast<HWND>(MessageLog().back().lParam), GetDlgItem(dlg, clicked));
}

void TestWindowButtons::checkBoxes_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("checkedAfter");
    // BS_AUTOCHECKBOX toggles on every click.
    QTest::newRow("auto, one click") << int(kAutoCheck) << 1 << true;
    QTest::newRow("auto, two clicks") << int(kAutoCheck) << 2 << false;
    QTest::newRow("auto, three clicks") << int(kAutoCheck) << 3 << true;
    // BS_CHECKBOX leaves the state to the dialog procedure; it only notifies.
    QTest::newRow("plain, one click") << int(kPlainCheck) << 1 << false;
}

void TestWindowButtons::checkBoxes()
{
    QFETCH(int, id);
    QFETCH(int, clicks);
    QFETCH(bool, checkedAfter);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    for (int i = 0; i < clicks; ++i)
        QVERIFY(PlatTestClick(dlg, id));
    QCOMPARE(IsDlgButtonChecked(dlg, id) == BST_CHECKED, checkedAfter);
    QCOMPARE(CommandCount(id, BN_CLICKED), clicks);
}

void TestWindowButtons::programmaticChecks_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<int>>("checkedAfter");
    QTest::addColumn<int>("notifications");
    // Start: A1 checked. CheckDlgButton (BM_SETCHECK) sets that one button,
    // sends nothing, and leaves the rest of the group alone.
    QTest::newRow("CheckDlgButton") << "check" << QList<int>{kRadioA1, kRadioA2} << 0;
    QTest::newRow("CheckDlgButton unchecked") << "uncheck" << QList<int>{} << 0;
    // BM_CLICK behaves as a click: group rule and BN_CLICKED.
    QTest::newRow("BM_CLICK") << "click" << QList<int>{kRadioA2} << 1;
}

void TestWindowButtons::programmaticChecks()
{
    QFETCH(QString, action);
    QFETCH(QList<int>, checkedAfter);
    QFETCH(int, notifications);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    CheckDlgButton(dlg, kRadioA1, BST_CHECKED);
    MessageLog().clear();
    if (action == "check")
        QVERIFY(CheckDlgButton(dlg, kRadioA2, BST_CHECKED));
    else if (action == "uncheck")
        QVERIFY(CheckDlgButton(dlg, kRadioA1, BST_UNCHECKED));
    else
        SendDlgItemMessageA(dlg, kRadioA2, BM_CLICK, 0, 0);
    for (int id : {kRadioA1, kRadioA2, kRadioA3})
        QCOMPARE(IsDlgButtonChecked(dlg, id) == BST_CHECKED, checkedAfter.contains(id));
    QCOMPARE(MessageCount(WM_COMMAND), notifications);
}

void TestWindowButtons::disabledControlIgnoresClicks()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    // WS_DISABLED from the template.
    QVERIFY(!IsWindowEnabled(GetDlgItem(dlg, kDisabledPush)));
    PlatTestExpectMiss();
    QVERIFY(!PlatTestClick(dlg, kDisabledPush));
    SendDlgItemMessageA(dlg, kDisabledPush, BM_CLICK, 0, 0);
    QCOMPARE(CommandCount(kDisabledPush, BN_CLICKED), 0);

    // A disabled auto check box keeps its state.
    QVERIFY(!EnableWindow(GetDlgItem(dlg, kAutoCheck), FALSE)); // it was enabled
    PlatTestExpectMiss();
    QVERIFY(!PlatTestClick(dlg, kAutoCheck));
    QCOMPARE(IsDlgButtonChecked(dlg, kAutoCheck), UINT(BST_UNCHECKED));
    QCOMPARE(CommandCount(kAutoCheck, BN_CLICKED), 0);

    // Enabled again, both answer.
    QVERIFY(EnableWindow(GetDlgItem(dlg, kDisabledPush), TRUE)); // it was disabled
    EnableWindow(GetDlgItem(dlg, kAutoCheck), TRUE);
    QVERIFY(PlatTestClick(dlg, kDisabledPush));
    QVERIFY(PlatTestClick(dlg, kAutoCheck));
    QCOMPARE(CommandCount(kDisabledPush, BN_CLICKED), 1);
    QCOMPARE(IsDlgButtonChecked(dlg, kAutoCheck), UINT(BST_CHECKED));
}

void TestWindowButtons::dialogKeys_data()
{
    QTest::addColumn<int>("tpl");
    QTest::addColumn<int>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("disableDefault");
    QTest::addColumn<int>("command"); // 0: no command (BN_CLICKED) at all
    QTest::addColumn<QString>("textAfter");
    // Enter in a single-line edit: the default push button's id.
    QTest::newRow("Enter, default button") << kTplDefault << int(kEdit) << int(Qt::Key_Return) << false << int(kDefPush) << "";
    QTest::newRow("keypad Enter, default button") << kTplDefault << int(kEdit) << int(Qt::Key_Enter) << false << int(kDefPush) << "";
    // No default push button: IDOK (1).
    QTest::newRow("Enter, no default button") << kTplNoDefault << int(kEdit) << int(Qt::Key_Return) << false << IDOK << "";
    // A focused push button is the default while it has the focus.
    QTest::newRow("Enter on a focused button") << kTplDefault << int(kOtherPush) << int(Qt::Key_Return) << false << int(kOtherPush) << "";
    // A disabled default button: Enter does nothing.
    QTest::newRow("Enter, default button disabled") << kTplDefault << int(kEdit) << int(Qt::Key_Return) << true << 0 << "";
    // A multi-line edit without ES_WANTRETURN leaves Enter to the dialog.
    QTest::newRow("Enter in multi-line edit") << kTplControls << int(kMultiEdit) << int(Qt::Key_Return) << false << IDOK << "";
    // With ES_WANTRETURN the edit takes Enter as a line break (CR LF).
    QTest::newRow("Enter in ES_WANTRETURN edit") << kTplControls << int(kWantReturnEdit) << int(Qt::Key_Return) << false << 0 << "\r\n";
    // Escape is the command IDCANCEL (2), wherever the focus is.
    QTest::newRow("Escape in edit") << kTplDefault << int(kEdit) << int(Qt::Key_Escape) << false << IDCANCEL << "";
    QTest::newRow("Escape in multi-line edit") << kTplControls << int(kWantReturnEdit) << int(Qt::Key_Escape) << false << IDCANCEL << "";
}

void TestWindowButtons::dialogKeys()
{
    QFETCH(int, tpl);
    QFETCH(int, focus);
    QFETCH(int, key);
    QFETCH(bool, disableDefault);
    QFETCH(int, command);
    QFETCH(QString, textAfter);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(tpl), nullptr, LoggingDlgProc);
    QVERIFY(dlg);
    if (disableDefault)
        EnableWindow(GetDlgItem(dlg, kDefPush), FALSE);
    QVERIFY(PlatTestFocus(dlg, focus));
    MessageLog().clear();

    QVERIFY(PlatTestKey(dlg, key));

    int clicks = 0;
    for (const LoggedMessage& m : MessageLog())
        clicks += m.message == WM_COMMAND && HIWORD(m.wParam) == BN_CLICKED;
    QCOMPARE(clicks, command ? 1 : 0);
    if (command)
        QCOMPARE(CommandCount(command, BN_CLICKED), 1);
    QCOMPARE(QString::fromStdString(PlatTestText(dlg, focus == kOtherPush ? kEdit : focus)),
             focus == kOtherPush ? QString() : textAfter);
    // Nothing closes by itself: the procedure did not end the dialog.
    QVERIFY(IsWindow(dlg));
    QVERIFY(!PlatTestDialogEnded(dlg));
    QVERIFY(PlatTestWidget(dlg)->isVisible());
}

void TestWindowButtons::closeBoxSendsClose()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
    QVERIFY(PlatTestCloseBox(dlg));
    QCOMPARE(MessageCount(WM_CLOSE), 1);
    // The window stays until the procedure ends it.
    QVERIFY(IsWindow(dlg));
    QVERIFY(PlatTestWidget(dlg)->isVisible());
    QVERIFY(!PlatTestDialogEnded(dlg));

    QVERIFY(EndDialog(dlg, 7));
    INT_PTR result = 0;
    QVERIFY(PlatTestDialogEnded(dlg, &result));
    QCOMPARE(result, INT_PTR(7));
    QVERIFY(!PlatTestWidget(dlg)->isVisible());
}

void TestWindowButtons::unhandledCloseBecomesCancel()
{
    // Windows' default dialog handling turns an unhandled WM_CLOSE into
    // WM_COMMAND IDCANCEL; the window still stays open.
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, UnhandledCloseProc);
    QVERIFY(PlatTestCloseBox(dlg));
    QVERIFY(PlatTestWaitFor([] { return CommandCount(IDCANCEL, BN_CLICKED) == 1; }, 5000));
    QCOMPARE(MessageCount(WM_CLOSE), 1);
    QVERIFY(IsWindow(dlg));
}

void TestWindowButtons::missedActionsFailWhereTheyHappen_data()
{
    QTest::addColumn<QString>("action");
    // A scripted action that cannot land fails the test at its own line
    // (here an expected failure), instead of a wait timing out later.
    QTest::newRow("click, no such control") << "click 999";
    QTest::newRow("click, hidden") << "click hidden";
    QTest::newRow("type, disabled") << "type disabled";
    QTest::newRow("type, read-only") << "type read-only";
    QTest::newRow("focus, no such control") << "focus 999";
    QTest::newRow("combo, no such row") << "combo row 5";
    QTest::newRow("key, disabled dialog") << "key disabled";
    QTest::newRow("close box, ended dialog") << "close ended";
    QTest::newRow("menu, dialog without one") << "menu";
    // A test that says a miss is coming fails when the action lands.
    QTest::newRow("expected miss that lands") << "expected miss";
}

void TestWindowButtons::missedActionsFailWhereTheyHappen()
{
    QFETCH(QString, action);
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
    ShowWindow(GetDlgItem(dlg, kPush), SW_HIDE);
    EnableWindow(GetDlgItem(dlg, kEdit), FALSE);
    QEXPECT_FAIL("", "the miss is reported where it happens", Continue);
    bool landed = true;
    if (action == "click 999")
        landed = PlatTestClick(dlg, 999);
    else if (action == "click hidden")
        landed = PlatTestClick(dlg, kPush);
    else if (action == "type disabled")
        landed = PlatTestType(dlg, kEdit, "1B");
    else if (action == "type read-only")
        landed = PlatTestType(dlg, kReadOnlyEdit, "1B");
    else if (action == "focus 999")
        landed = PlatTestFocus(dlg, 999);
    else if (action == "combo row 5")
        landed = PlatTestSelectComboRow(dlg, kCombo, 5);
    else if (action == "key disabled") {
        EnableWindow(dlg, FALSE);
        landed = PlatTestKey(dlg, Qt::Key_Escape);
    } else if (action == "close ended") {
        EndDialog(dlg, 0);
        landed = PlatTestCloseBox(dlg);
    } else if (action == "menu")
        landed = PlatTestMenuCommand(dlg, 40022);
    else if (action == "expected miss") {
        PlatTestExpectMiss();
        landed = PlatTestClick(dlg, kAutoCheck);
    }
    // Reached with the expected failure still pending only when nothing
    // was reported: then this passing check fails as an unexpected pass.
    QVERIFY(!landed);
}

PLAT_TEST_MAIN(TestWindowButtons)
#include "tst_window_buttons.moc"
