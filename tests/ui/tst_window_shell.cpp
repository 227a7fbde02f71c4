// The window layer's real message boxes and real file chooser, not the
// recording seams the other tests use: which files the chooser offers, and
// what a message box raised by a worker thread holds (only that thread, as
// an ownerless box on Windows does).
#include "ui/support/window_fixture.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

template <typename T> T* VisibleTopLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    return nullptr;
}

template <size_t N> QByteArray Bytes(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

// The names the chooser lists in `dir` under its current filter.
QStringList ListedNames(QFileDialog* chooser, const QString& dir)
{
    QStringList names;
    auto* model = chooser->findChild<QFileSystemModel*>();
    if (!model)
        return names;
    const QModelIndex parent = model->index(dir);
    for (int row = 0; row < model->rowCount(parent); ++row)
        names << model->fileName(model->index(row, 0, parent));
    names.sort();
    return names;
}

} // namespace

class TestWindowShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestTemplates(); }
    void init() { MessageLog().clear(); }
    void cleanup() { PlatTestDestroyAll(); }

    void fileChooserFilters_data();
    void fileChooserFilters();
    void workerBoxLeavesDialogUsable();
    void workerBoxAnsweredWhileUiThreadWaits();
};

void TestWindowShell::fileChooserFilters_data()
{
    QTest::addColumn<QByteArray>("filter"); // pairs of NUL-terminated strings
    QTest::addColumn<QStringList>("shown"); // the descriptions the chooser offers
    QTest::addColumn<QStringList>("listed"); // what the first filter lists
    const QStringList all{"notes.txt", "receipt", "selftest.bin"};
    // "*.*" is every file, a command file without an extension too; the
    // description is shown once, as given.
    QTest::newRow("all files") << Bytes("所有文件(*.*)\0*.*\0") << QStringList{"所有文件(*.*)"} << all;
    QTest::newRow("patterns by semicolon, then all files")
        << Bytes("命令文件\0*.bin;*.txt\0所有文件(*.*)\0*.*\0") << QStringList{"命令文件", "所有文件(*.*)"}
        << QStringList{"notes.txt", "selftest.bin"};
}

void TestWindowShell::fileChooserFilters()
{
    QFETCH(QByteArray, filter);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    for (const char* name : {"receipt", "selftest.bin", "notes.txt"}) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    filter.append('\0'); // the list ends with an empty string

    QStringList seenFilters, seenNames;
    bool found = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QFileDialog* chooser = VisibleTopLevel<QFileDialog>();
        if (!chooser || found)
            return;
        found = true;
        if (auto* combo = chooser->findChild<QComboBox*>("fileTypeCombo"))
            for (int i = 0; i < combo->count(); ++i)
                seenFilters << combo->itemText(i);
        PlatTestWaitFor([&] { return ListedNames(chooser, dir.path()).size() >= listed.size(); }, 2000);
        seenNames = ListedNames(chooser, dir.path());
        chooser->reject();
    });
    poll.start(10);
    QTimer::singleShot(10000, [] { // never hang on a chooser left open
        if (QFileDialog* chooser = VisibleTopLevel<QFileDialog>())
            chooser->reject();
    });

    char buffer[260] = "";
    const QByteArray initialDir = dir.path().toUtf8();
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = filter.constData();
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = sizeof buffer;
    ofn.lpstrInitialDir = initialDir.constData();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    QVERIFY(!GetOpenFileNameA(&ofn)); // the chooser was closed without a choice
    QVERIFY(found);
    QCOMPARE(seenFilters, shown);
    QCOMPARE(seenNames, listed);
}

void TestWindowShell::workerBoxLeavesDialogUsable()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
    QVERIFY(dlg);
    std::atomic<int> answer{-1};
    std::jthread worker([&] { answer = MessageBoxA(nullptr, "打印机忙!  144", "display hex", MB_ICONERROR); });
    CloseMessageBoxesAtEnd closeBoxes;
    // A box that held the user-interface thread in a loop of its own would
    // never let this wait see it; end such a box instead of hanging.
    QTimer::singleShot(3000, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    QVERIFY(PlatTestWaitFor([] { return ShownMessageBox() != nullptr; }, 2000));
    QMessageBox* box = ShownMessageBox();
    QCOMPARE(box->text(), QString("打印机忙!  144"));
    QCOMPARE(box->windowTitle(), QString("display hex"));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(answer.load(), -1); // the worker waits for the answer

    // The dialog takes clicks while the box shows.
    SystemClick(PlatTestWidget(GetDlgItem(dlg, kPush)));
    QCOMPARE(CommandCount(kPush, BN_CLICKED), 1);
    QVERIFY(box->isVisible());

    QVERIFY(AnswerShownMessageBox(QMessageBox::Ok));
    QVERIFY(PlatTestWaitFor([&] { return answer.load() != -1; }, 2000));
    QCOMPARE(answer.load(), IDOK);
}

void TestWindowShell::workerBoxAnsweredWhileUiThreadWaits()
{
    HWND dlg = PlatTestOpenDialog(MAKEINTRESOURCEA(kTplSmall), nullptr, LoggingDlgProc);
    HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> answer{-1};
    std::jthread worker([&] {
        answer = MessageBoxA(nullptr, "打印机不在线或错误 8", "display hex", MB_OKCANCEL);
        SetEvent(answered);
    });
    CloseMessageBoxesAtEnd closeBoxes;
    QTimer::singleShot(3000, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    QVERIFY(PlatTestWaitFor([] { return ShownMessageBox() != nullptr; }, 2000));

    // While this thread waits for the worker, as a dialog's close does, the
    // box still takes its answer; the dialog takes no input and its posted
    // messages wait until the wait is over.
    PostMessageA(dlg, WM_USER + 7, 0, 0);
    QTimer::singleShot(50, [dlg] {
        SystemClick(PlatTestWidget(GetDlgItem(dlg, kPush)));
        AnswerShownMessageBox(QMessageBox::Cancel);
    });
    DWORD woke = WAIT_TIMEOUT;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        woke = MsgWaitForMultipleObjects(1, &answered, FALSE, 5000, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0)
            break;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    QCOMPARE(woke, DWORD(WAIT_OBJECT_0));
    QCOMPARE(answer.load(), IDCANCEL);
    QCOMPARE(CommandCount(kPush, BN_CLICKED), 0);
    QCOMPARE(MessageCount(WM_USER + 7), 0);
    QVERIFY(PlatTestWaitFor([] { return MessageCount(WM_USER + 7) == 1; }, 2000));
    CloseHandle(answered);
}

PLAT_TEST_MAIN(TestWindowShell)
#include "tst_window_shell.moc"
