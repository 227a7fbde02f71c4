// Dialog templates as resources: FindResourceA, LoadResource and
// LockResource over the program's tables. (A page built from a locked
// template: tst_window_dialogs.)
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
};

PLAT_TEST_MAIN(TestWindowResources)
#include "tst_window_resources.moc"
