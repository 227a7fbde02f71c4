// The window layer's real message boxes and real file chooser, not the
// recording seams the other tests use: which files the chooser offers, and
// what a message box raised by a worker thread holds (only that thread, as
// an ownerless box on Windows does). The boxes' tables run on Windows too.
#include "res/resources.h"
#include "ui/support/window_fixture.h"

#include "send/send.h"
#include "support/temp_dir.h"

#include <optional>

#ifndef _WIN32
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#endif

#include <atomic>
#include <filesystem>
#include <functional>
#include <string_view>
#include <thread>

namespace {

using namespace std::string_view_literals;
using testsupport::TempDir;

// A chooser asked for any file in `folder`, its answer in `chosen`.
struct ChooserRequest {
    explicit ChooserRequest(const std::string& folder) : initialDir(folder)
    {
        ofn.lStructSize = sizeof ofn;
        ofn.lpstrFilter = "所有文件(*.*)\0*.*\0";
        ofn.lpstrFile = chosen;
        ofn.nMaxFile = sizeof chosen;
        ofn.lpstrInitialDir = initialDir.c_str();
    }
    std::string initialDir;
    char chosen[260] = "";
    OPENFILENAMEA ofn{};
};

// A box raised by a worker thread, showing once the constructor returns
// (`shown` says so). A box that held the user-interface thread in a loop
// of its own would never let that wait see it: it is closed after 3 s, so
// the test fails instead of hanging. Whatever still shows at the end is
// closed before the worker is joined.
class WorkerBox {
public:
    WorkerBox(const char* text, UINT type)
        : worker_([this, text, type] {
              answer = MessageBoxA(nullptr, text, "display hex", type);
              SetEvent(answered);
          }),
          giveUp_(3000, [] { PlatTestAnswerBoxShowing(); })
    {
        shown = PlatTestWaitFor([] { return PlatTestBoxShowing().has_value(); }, 2000);
    }
    ~WorkerBox()
    {
        {
            CloseMessageBoxesAtEnd closeBoxes;
        }
        worker_.join();
        CloseHandle(answered);
    }
    std::atomic<int> answer{-1};
    HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool shown = false;

private:
    std::jthread worker_;
    PlatTestRepeat giveUp_;
};

} // namespace

class TestWindowShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestTemplates(); }
    void cleanup() { PlatTestDestroyAll(); }

    void fileChooserFilters()
    {
        struct Case {
            const char* name;
            std::string_view filter;         // pairs of NUL-terminated strings, then an empty one
            std::vector<std::string> shown;  // the descriptions the chooser offers
            std::vector<std::string> listed; // what the first filter lists
        };
        // "*.*" is every file, a command file without an extension too; the
        // description is shown once, as given.
        const Case cases[] = {
            {"all files", "所有文件(*.*)\0*.*\0\0"sv, {"所有文件(*.*)"}, {"notes.txt", "receipt", "selftest.bin"}},
            {"patterns by semicolon, then all files", "命令文件\0*.bin;*.txt\0所有文件(*.*)\0*.*\0\0"sv,
             {"命令文件", "所有文件(*.*)"}, {"notes.txt", "selftest.bin"}},
        };
        TempDir dir;
        for (const char* name : {"receipt", "selftest.bin", "notes.txt"})
            dir.writeFile(name, {});
        for (const Case& c : cases) {
            RowTrace trace{c.name};
            std::vector<std::string> seenFilters, seenNames;
            ChooserRequest request(dir.path());
            request.ofn.lpstrFilter = c.filter.data();
            request.ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
            BOOL chosen = TRUE;
            QVERIFY(PlatTestWithChooser(request.ofn, chosen, [&](PlatTestChooser& chooser) {
                seenFilters = chooser.filters();
                PlatTestWaitFor([&] { return chooser.listed().size() >= c.listed.size(); }, 2000);
                seenNames = chooser.listed();
                chooser.cancel();
            }));
            QVERIFY(!chosen); // the chooser was closed without a choice
            QCOMPARE(seenFilters, c.shown);
            QCOMPARE(seenNames, c.listed);
        }
    }

    // The save chooser takes a name that is not there yet, with the default
    // extension added; on Linux it says 保存 in its title and on its button.
    void saveChooserTakesANewName()
    {
        TempDir dir;
        ChooserRequest request(dir.path());
        request.ofn.lpstrDefExt = "txt";
        request.ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
        std::string title, button;
        BOOL chosen = FALSE;
        const auto look = [&](PlatTestChooser& chooser) {
#ifndef _WIN32 // Qt's words (Windows' are the system's language)
            title = chooser.dialog->windowTitle().toStdString();
            if (auto* buttons = chooser.dialog->findChild<QDialogButtonBox*>())
                button = buttons->button(QDialogButtonBox::Save)
                             ? buttons->button(QDialogButtonBox::Save)->text().toStdString()
                             : std::string();
#endif
            chooser.choose("新记录");
        };
        QVERIFY(PlatTestWithChooser(request.ofn, chosen, look, GetSaveFileNameA));
#ifndef _WIN32
        QCOMPARE(title, std::string("保存"));
        QCOMPARE(button, std::string("保存(&S)"));
#endif
        QCOMPARE(chosen, TRUE);
        QVERIFY(std::filesystem::path(request.chosen) == std::filesystem::path(dir.path()) / "新记录.txt");
    }

#ifndef _WIN32
    // These look into Qt's own chooser (its words, where it opens, its
    // column widths): Windows' chooser speaks the system's language, and
    // where one opens without a folder differs between Windows versions.
    // Qt's own words are Chinese whatever the system's language, and a
    // chooser the program opens without a folder opens where the last file
    // was chosen; a cancelled choice moves nothing.
    void fileChooserSpeaksChineseAndReturnsToTheLastFolder()
    {
        QTemporaryDir first, second;
        QVERIFY(QFile(second.filePath("selftest.bin")).open(QIODevice::WriteOnly));
        ChooserRequest request(first.path().toStdString());
        OPENFILENAMEA& ofn = request.ofn;
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        const struct {
            const char* name;
            const char* initialDir;
            bool choose;
            QString opensIn;
        } steps[] = {
            {"a named folder", request.initialDir.c_str(), false, first.path()},
            {"a choice in another folder", nullptr, true, QString()}, // opens where it opens; chooses there
            {"no folder named: the last file's", nullptr, false, second.path()},
            {"after a cancel, still the last file's", nullptr, false, second.path()},
        };
        for (const auto& step : steps) {
            RowTrace trace{step.name};
            ofn.lpstrInitialDir = step.initialDir;
            QString openedIn, words;
            BOOL chosen = FALSE;
            QVERIFY(PlatTestWithChooser(ofn, chosen, [&](PlatTestChooser& chooser) {
                openedIn = chooser.dialog->directory().absolutePath();
                if (auto* buttons = chooser.dialog->findChild<QDialogButtonBox*>())
                    words = buttons->button(QDialogButtonBox::Open)->text() + " " +
                            buttons->button(QDialogButtonBox::Cancel)->text();
                step.choose ? chooser.choose(second.filePath("selftest.bin").toStdString()) : chooser.cancel();
            }));
            QCOMPARE(chosen, step.choose ? TRUE : FALSE);
            if (!step.opensIn.isEmpty())
                QCOMPARE(openedIn, step.opensIn);
            QVERIFY2(words.contains(QRegularExpression("^打开.* 取消")), qPrintable(words));
        }
        QCOMPARE(QString::fromUtf8(request.chosen), second.filePath("selftest.bin"));
    }

    // The chooser's list and side bar in Chinese whatever the system's
    // language (the test runs under the C locale), every entry whole.
    void fileChooserColumnsAreChineseAndFit()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("固件"));
        const struct {
            const char* name;
            qint64 size;
        } files[] = {{"app.log", 10752}, {"selftest.bin", 300}, {"receipt", 62913780}};
        for (const auto& f : files) {
            QFile file(dir.filePath(f.name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(f.size));
        }
        ChooserRequest request(dir.path().toStdString());
        QMap<QString, QStringList> rows; // name: size, type, date as shown
        QStringList cut;                 // texts wider than their place
        BOOL chosen = TRUE;
        QVERIFY(PlatTestWithChooser(request.ofn, chosen, [&](PlatTestChooser& onScreen) {
            QFileDialog* chooser = onScreen.dialog;
            auto* view = chooser->findChild<QTreeView*>("treeView");
            auto* sidebar = chooser->findChild<QListView*>("sidebar");
            if (!view || !sidebar) {
                chooser->reject();
                return;
            }
            const QAbstractItemModel* model = view->model();
            const QModelIndex root = view->rootIndex();
            const QFontMetrics metrics(view->font()), sideMetrics(sidebar->font());
            // Every text the list and the side bar show that does not fit its place.
            auto notWhole = [&] {
                QStringList wide;
                for (int row = 0; row < model->rowCount(root); ++row)
                    for (int column = 1; column < 4; ++column) {
                        const QString text = model->index(row, column, root).data().toString();
                        if (metrics.horizontalAdvance(text) + 8 > view->columnWidth(column))
                            wide << text;
                    }
                for (int row = 0; row < sidebar->model()->rowCount(); ++row) {
                    const QString text = sidebar->model()->index(row, 0).data().toString();
                    if (sideMetrics.horizontalAdvance(text) + sidebar->iconSize().width() + 8 >
                        sidebar->viewport()->width())
                        wide << text;
                }
                return wide;
            };
            // The folder is read, and the columns fit themselves, after the chooser shows.
            PlatTestWaitFor(
                [&] {
                    return model->rowCount(root) == 4 && !model->index(0, 3, root).data().toString().isEmpty() &&
                           notWhole().isEmpty();
                },
                5000);
            cut = notWhole();
            for (int row = 0; row < model->rowCount(root); ++row) {
                QStringList shown;
                for (int column = 1; column < 4; ++column)
                    shown << model->index(row, column, root).data().toString();
                rows[model->index(row, 0, root).data().toString()] = shown;
            }
            chooser->reject();
        }));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(" | ")));
        QCOMPARE(rows.value("固件").value(0), QString());
        QCOMPARE(rows.value("固件").value(1), QString("文件夹"));
        QCOMPARE(rows.value("app.log").value(0), QString("10.5 KiB"));
        QCOMPARE(rows.value("selftest.bin").value(0), QString("300 字节"));
        QCOMPARE(rows.value("receipt").value(0), QString("60.0 MiB"));
        const QDateTime modified = QFileInfo(dir.filePath("app.log")).lastModified();
        QCOMPARE(rows.value("app.log").value(2), modified.toString("yyyy/M/d H:mm"));
        for (const QStringList& shown : rows)
            QVERIFY2(!shown.join(" ").remove("KiB").remove("MiB").contains(QRegularExpression("[A-Za-z]")),
                     qPrintable(shown.join(" | ")));
    }

#endif

    // A box with an owner shows over the owner's window (a control stands for
    // its dialog), as on Windows; one without, on its own.
    void aBoxShowsOverItsOwnersWindow()
    {
        HWND dlg = OpenTestDialog(kTplSmall);
        for (HWND owner : {dlg, GetDlgItem(dlg, kPush), HWND(nullptr)}) {
            std::optional<PlatTestBoxOnScreen> seen;
            PlatTestRepeat look(10, [&] {
                if (!seen && (seen = PlatTestBoxShowing(dlg)))
                    PlatTestAnswerBoxShowing();
            });
            PlatTestRepeat giveUp(5000, [] { PlatTestAnswerBoxShowing(); });
            QCOMPARE(MessageBoxA(owner, "打开端口失败!", "Error", MB_OK | MB_ICONERROR), IDOK);
            QVERIFY(seen);
            QCOMPARE(seen->owned, owner != nullptr);
            QCOMPARE(seen->overDialog, owner != nullptr);
        }
    }

    void workerBoxHoldsOnlyItsThread()
    {
        HWND dlg = OpenTestDialog(kTplSmall);
        WorkerBox worker("打印机忙!  144", MB_ICONERROR);
        QVERIFY(worker.shown);
        const std::optional<PlatTestBoxOnScreen> box = PlatTestBoxShowing();
        QCOMPARE(box->text, std::string("打印机忙!  144"));
        QCOMPARE(box->caption, std::string("display hex"));
#ifndef _WIN32 // Qt's own: its word for OK, in Chinese, and that no window of its is modal
        QCOMPARE(ShownMessageBox()->button(QMessageBox::Ok)->text(), QString("确定"));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
#endif

        // The dialog takes clicks while the box shows.
        PlatTestSystemClick(dlg, kPush);
        QVERIFY(PlatTestWaitFor([] { return CommandCount(kPush, BN_CLICKED) == 1; }, 5000));
        QVERIFY(PlatTestBoxShowing());
        QCOMPARE(worker.answer.load(), -1); // the worker waits for the answer

        // While this thread waits for the worker, as a dialog's close does, the
        // box still takes its answer; the dialog takes no input. (Posted
        // messages held over the wait: tst_window_threads.)
        SoonAfter([dlg] {
            PlatTestSystemClick(dlg, kPush);
            PlatTestAnswerBoxShowing();
        });
        QCOMPARE(WaitDeliveringSends(worker.answered, 5000), DWORD(WAIT_OBJECT_0));
        QCOMPARE(worker.answer.load(), IDOK);
        QCOMPARE(CommandCount(kPush, BN_CLICKED), 1);
    }
};

#ifdef _WIN32
WINDOW_TABLES_RUN(TestWindowShell)
{
    RUN_TABLE(fileChooserFilters);
    RUN_TABLE(saveChooserTakesANewName);
    RUN_TABLE(aBoxShowsOverItsOwnersWindow);
    RUN_TABLE(workerBoxHoldsOnlyItsThread);
}
#else
PLAT_TEST_MAIN_WITH(TestWindowShell, ResRegister)
#include "tst_window_shell.moc"
#endif
