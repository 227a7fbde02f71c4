// The window layer's buttons and dialog keys against what Windows does:
// auto radio groups, check boxes, disabled controls, Enter, Escape and the
// close box. The same tables run on Windows itself (see window_fixture.h).
#include "res/resources.h"
#include "ui/support/window_fixture.h"

namespace {

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
    void cleanup() { PlatTestDestroyAll(); }

    void clicksAndChecks()
    {
        enum How { Click, Check, Uncheck };
        struct Case {
            const char* name;
            How how;
            int id;
            int times;
            bool disable; // EnableWindow(FALSE) first
            QList<int> checkedAfter;
            int clicks; // BN_CLICKED, the only WM_COMMAND
            const char* wine = nullptr;
        };
        // Start: A1 and B2 checked. A group runs from a WS_GROUP control to
        // the next one; a click checks an auto radio button and clears the
        // others of its group only. Windows keeps a checked one checked when
        // it is clicked again.
        const Case cases[] = {
            {"radio, another of the group", Click, kRadioA2, 1, false, {kRadioA2, kRadioB2}, 1},
            {"radio, last of the group", Click, kRadioA3, 1, false, {kRadioA3, kRadioB2}, 1},
            {"radio, the checked one again", Click, kRadioA1, 1, false, {kRadioA1, kRadioB2}, 1},
            {"radio, second group", Click, kRadioB1, 1, false, {kRadioA1, kRadioB1}, 1},
            // BS_AUTOCHECKBOX toggles; BS_CHECKBOX leaves that to the procedure.
            {"auto check box, one click", Click, kAutoCheck, 1, false, {kRadioA1, kRadioB2, kAutoCheck}, 1},
            {"auto check box, two clicks", Click, kAutoCheck, 2, false, {kRadioA1, kRadioB2}, 2},
            {"plain check box", Click, kPlainCheck, 1, false, {kRadioA1, kRadioB2}, 1},
            // CheckDlgButton sets that one button, quietly, the group untouched.
            {"CheckDlgButton", Check, kRadioA2, 1, false, {kRadioA1, kRadioA2, kRadioB2}, 0,
             "Wine's BM_SETCHECK on an auto radio button also clears the rest of its group"},
            {"CheckDlgButton unchecked", Uncheck, kRadioA1, 1, false, {kRadioB2}, 0},
            // A disabled control takes no click.
            {"WS_DISABLED in the template", Click, kDisabledPush, 1, false, {kRadioA1, kRadioB2}, 0},
            {"disabled auto check box", Click, kAutoCheck, 1, true, {kRadioA1, kRadioB2}, 0},
        };
        for (const Case& c : cases) {
            if (WineDiffers(c.wine))
                continue;
            RowTrace trace{c.name};
            PlatTestDestroyAll();
            HWND dlg = OpenTestDialog(kTplControls);
            CheckDlgButton(dlg, kRadioA1, BST_CHECKED);
            CheckDlgButton(dlg, kRadioB2, BST_CHECKED);
            if (c.disable)
                QCOMPARE(EnableWindow(GetDlgItem(dlg, c.id), FALSE), FALSE); // it was enabled
            MessageLog().clear();
            for (int i = 0; i < c.times; ++i) {
                if (c.how == Click) {
                    if (!c.clicks)
                        PlatTestExpectMiss();
                    QCOMPARE(PlatTestClick(dlg, c.id), c.clicks > 0);
                } else {
                    QVERIFY(CheckDlgButton(dlg, c.id, c.how == Check ? BST_CHECKED : BST_UNCHECKED));
                }
            }
            QList<int> checked;
            for (int id : {kRadioA1, kRadioA2, kRadioA3, kRadioB1, kRadioB2, kAutoCheck, kPlainCheck})
                if (IsDlgButtonChecked(dlg, id) == BST_CHECKED)
                    checked.push_back(id);
            QCOMPARE(checked, c.checkedAfter);
            QCOMPARE(CommandCount(c.id, BN_CLICKED), c.clicks);
            QCOMPARE(MessageCount(WM_COMMAND), c.clicks);
            for (const LoggedMessage& m : MessageLog()) // lParam of the notification is the control's window
                if (m.message == WM_COMMAND)
                    QCOMPARE(reinterpret_cast<HWND>(m.lParam), GetDlgItem(dlg, c.id));
        }
    }

    void dialogKeys()
    {
        struct Case {
            const char* name;
            int tpl, focus, key;
            bool disableDefault;
            int command; // 0: no BN_CLICKED at all
            const char* textAfter; // of the focused edit
            const char* wine = nullptr;
        };
        const Case cases[] = {
            // Enter in a single-line edit: the default push button's id;
            // without one, IDOK (1).
            {"Enter, default button", kTplSmall, kEdit, Qt::Key_Return, false, kDefPush, ""},
            {"keypad Enter, default button", kTplSmall, kEdit, Qt::Key_Enter, false, kDefPush, ""},
            {"Enter, no default button", kTplControls, kEdit, Qt::Key_Return, false, IDOK, ""},
            // A focused push button is the default while it has the focus.
            {"Enter on a focused button", kTplSmall, kPush, Qt::Key_Return, false, kPush, nullptr},
            {"Enter, default button disabled", kTplSmall, kEdit, Qt::Key_Return, true, 0, ""},
            // A multi-line edit leaves Enter to the dialog unless ES_WANTRETURN
            // makes it a line break (CR LF).
            {"Enter in multi-line edit", kTplControls, kMultiEdit, Qt::Key_Return, false, IDOK, "",
             "Wine's multi-line edit passes Enter on only to a default push button (DM_GETDEFID) and this dialog has "
             "none; Windows takes Enter there as its single-line edits do"},
            {"Enter in ES_WANTRETURN edit", kTplControls, kWantReturnEdit, Qt::Key_Return, false, 0, "\r\n"},
            // Escape is the command IDCANCEL (2), wherever the focus is.
            {"Escape in edit", kTplSmall, kEdit, Qt::Key_Escape, false, IDCANCEL, ""},
            {"Escape in multi-line edit", kTplControls, kWantReturnEdit, Qt::Key_Escape, false, IDCANCEL, "",
             "Wine's multi-line edit posts WM_CLOSE for Escape instead, and this procedure handles WM_CLOSE"},
        };
        for (const Case& c : cases) {
            if (WineDiffers(c.wine))
                continue;
            RowTrace trace{c.name};
            PlatTestDestroyAll();
            HWND dlg = OpenTestDialog(c.tpl);
            if (c.disableDefault)
                EnableWindow(GetDlgItem(dlg, kDefPush), FALSE);
            QVERIFY(PlatTestFocus(dlg, c.focus));
            MessageLog().clear();
            QVERIFY(PlatTestKey(dlg, c.key));
            // The command, and no other but the line break's EN_CHANGE.
            QCOMPARE(CommandCount(c.command, BN_CLICKED), c.command ? 1 : 0);
            QCOMPARE(MessageCount(WM_COMMAND), (c.command ? 1 : 0) + CommandCount(c.focus, EN_CHANGE));
            QCOMPARE(PlatTestText(dlg, c.textAfter ? c.focus : kEdit), std::string(c.textAfter ? c.textAfter : ""));
            // Nothing closes by itself: the procedure did not end the dialog.
            QVERIFY(IsWindow(dlg) && IsWindowVisible(dlg));
            QVERIFY(!PlatTestDialogEnded(dlg));
        }
    }

    void closeBox()
    {
        // WM_CLOSE handled: the window stays until the procedure ends it.
        HWND dlg = OpenTestDialog(kTplSmall);
        QVERIFY(PlatTestCloseBox(dlg));
        QCOMPARE(MessageCount(WM_CLOSE), 1);
        QVERIFY(IsWindow(dlg) && IsWindowVisible(dlg));
        QVERIFY(!PlatTestDialogEnded(dlg));
        QVERIFY(EndDialog(dlg, 7));
        INT_PTR result = 0;
        QVERIFY(PlatTestDialogEnded(dlg, &result));
        QCOMPARE(result, INT_PTR(7));
        QVERIFY(!IsWindowVisible(dlg));

        // Windows' default dialog handling turns an unhandled WM_CLOSE into
        // WM_COMMAND IDCANCEL; the window still stays open.
        dlg = OpenTestDialog(kTplSmall, UnhandledCloseProc);
        QVERIFY(PlatTestCloseBox(dlg));
        QVERIFY(PlatTestWaitFor([] { return CommandCount(IDCANCEL, BN_CLICKED) == 1; }, 5000));
        QCOMPARE(MessageCount(WM_CLOSE), 1);
        QVERIFY(IsWindow(dlg));
    }

#ifndef _WIN32 // the Qt Test side of the test API's own reports
    void missedActionsFailWhereTheyHappen()
    {
        // A scripted action that cannot land fails the test at its own line
        // (here an expected failure), instead of a wait timing out later.
        struct Case {
            const char* name;
            bool (*act)(HWND);
        };
        const Case cases[] = {
            {"click, no such control", [](HWND d) { return PlatTestClick(d, 999); }},
            {"click, hidden", [](HWND d) { return PlatTestClick(d, kPush); }},
            {"type, disabled", [](HWND d) { return PlatTestType(d, kEdit, "1B"); }},
            {"type, read-only", [](HWND d) { return PlatTestType(d, kReadOnlyEdit, "1B"); }},
            {"focus, no such control", [](HWND d) { return PlatTestFocus(d, 999); }},
            {"combo, no such row", [](HWND d) { return PlatTestSelectComboRow(d, kCombo, 5); }},
            {"key, disabled dialog", [](HWND d) { return EnableWindow(d, FALSE), PlatTestKey(d, Qt::Key_Escape); }},
            {"close box, ended dialog", [](HWND d) { return EndDialog(d, 0), PlatTestCloseBox(d); }},
            {"menu, dialog without one", [](HWND d) { return PlatTestMenuCommand(d, 40022); }},
            // A test that says a miss is coming fails when the action lands.
            {"expected miss that lands", [](HWND d) { return PlatTestExpectMiss(), PlatTestClick(d, kAutoCheck); }},
        };
        for (const Case& c : cases) {
            RowTrace trace{c.name};
            PlatTestDestroyAll();
            HWND dlg = OpenTestDialog(kTplControls);
            ShowWindow(GetDlgItem(dlg, kPush), SW_HIDE);
            EnableWindow(GetDlgItem(dlg, kEdit), FALSE);
            QEXPECT_FAIL("", "the miss is reported where it happens", Continue);
            const bool landed = c.act(dlg);
            // Only a reported miss used up the expected failure: otherwise
            // this passing check fails as an unexpected pass.
            QVERIFY(true);
            QVERIFY(!landed);
        }
    }
#endif
};

#ifdef _WIN32
WINDOW_TABLES_RUN(TestWindowButtons)
{
    RUN_TABLE(clicksAndChecks);
    RUN_TABLE(dialogKeys);
    RUN_TABLE(closeBox);
}
#else
PLAT_TEST_MAIN_WITH(TestWindowButtons, ResRegister)
#include "tst_window_buttons.moc"
#endif
