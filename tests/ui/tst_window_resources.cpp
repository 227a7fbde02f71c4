// Dialog templates as resources: FindResourceA, LoadResource and
// LockResource over the program's tables, and CreateDialogIndirectParamA
// building a page from a locked template, as tab pages are built.
#include "res/resource.h"
#include "ui/support/window_fixture.h"

class TestWindowResources : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestTemplates(); }
    void cleanup() { PlatTestDestroyAll(); }

    void findingResources_data()
    {
        // Windows: FindResourceA gives NULL and ERROR_RESOURCE_NAME_NOT_FOUND
        // (1814) for a name or type the module does not have.
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("dialogType");
        QTest::addColumn<bool>("found");
        QTest::newRow("a page of the test dialog") << int(IDD_TEST_CHAR) << true << true;
        QTest::newRow("a template of the tests") << kTplPage << true << true;
        QTest::newRow("no such dialog") << 4321 << true << false;
        QTest::newRow("not of type RT_DIALOG") << int(IDD_TEST_CHAR) << false << false;
    }

    void findingResources()
    {
        QFETCH(int, id);
        QFETCH(bool, dialogType);
        QFETCH(bool, found);
        SetLastError(0);
        HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), dialogType ? RT_DIALOG : MAKEINTRESOURCEA(2));
        QCOMPARE(resource != nullptr, found);
        if (!found) {
            QCOMPARE(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
            return;
        }
        // Loading and locking give the same template every time.
        const void* locked = LockResource(LoadResource(nullptr, resource));
        QVERIFY(locked != nullptr);
        QCOMPARE(LockResource(LoadResource(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(id), RT_DIALOG))), locked);
    }

    void pageFromALockedTemplate()
    {
        HWND dialog = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplControls), nullptr, LoggingDlgProc);
        auto tpl = static_cast<LPCDLGTEMPLATEA>(
            LockResource(LoadResource(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(kTplPage), RT_DIALOG))));
        MessageLog().clear();
        HWND page = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), tpl, dialog, LoggingDlgProc, 42);
        QVERIFY(page != nullptr);
        QCOMPARE(GetParent(page), dialog);
        // WM_INITDIALOG carries the init parameter; the page waits for ShowWindow.
        QCOMPARE(MessageCount(WM_INITDIALOG), 1);
        QCOMPARE(MessageLog().front().window, page);
        QCOMPARE(MessageLog().front().lParam, LPARAM(42));
        QVERIFY(!PlatTestWidget(page)->isVisible());
        ShowWindow(page, SW_SHOW);
        QVERIFY(PlatTestWidget(page)->isVisible());
        QVERIFY(GetDlgItem(page, kPageButton) != nullptr);
        // A second page from the same template is a window of its own.
        HWND second = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), tpl, dialog, LoggingDlgProc, 0);
        QVERIFY(second != nullptr && second != page);
        QVERIFY(GetDlgItem(second, kPageButton) != GetDlgItem(page, kPageButton));
        // No template: nothing is made.
        SetLastError(0);
        QVERIFY(CreateDialogIndirectParamA(GetModuleHandleA(nullptr), nullptr, dialog, LoggingDlgProc, 0) == nullptr);
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
};

PLAT_TEST_MAIN(TestWindowResources)
#include "tst_window_resources.moc"
