// The window layer's real message boxes and real file chooser, not the
// recording seams the other tests use: which files the chooser offers, and
// what a message box raised by a worker thread holds (only that thread, as
// an ownerless box on Windows does).
#include "ui/support/window_fixture.h"

#include <QComboBox>
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

PLAT_TEST_MAIN(TestWindowShell)
#include "tst_window_shell.moc"
