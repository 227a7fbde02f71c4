// The rest of the user-interface subset: message boxes (modal on the
// user-interface thread, holding only the asking thread from a worker) and the
// file chooser, each through one seam tests can take over; screen metrics,
// the module handle, the command line and the common-controls start-up.
#include "platform/qt/qtwin.h"
#include "platform/linux/kernel.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QDir>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

PlatQtHooks& PlatQtTestHooks()
{
    static PlatQtHooks hooks;
    return hooks;
}

namespace {

QMessageBox* NewBox(const char* text, const char* caption, UINT type)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
    case MB_ICONERROR: icon = QMessageBox::Critical; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    default: break; // the program shows no other icon
    }
    auto* box
        = new QMessageBox(icon, QString::fromUtf8(caption ? caption : "Error"), QString::fromUtf8(text ? text : ""));
    // The program asks yes or no, or tells and waits for OK.
    box->setStandardButtons((type & 0xF) == MB_YESNO ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    return box;
}

// What a box answers when it closes without a button: its cancelling one.
int CancelAnswer(UINT type)
{
    return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
}

// The id of the button that closed the box. Closed without a button (Escape,
// the close box), it answers as its cancelling button would.
int AnswerOf(const QMessageBox& box, UINT type)
{
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return CancelAnswer(type);
    }
}

// On the user-interface thread: modal, in a loop of its own. With an owner
// it shows over the owner's window (a control or page as the owner stands for
// the window that holds it), as on Windows; without one, centred on the screen.
int ShowModalBox(HWND owner, const char* text, const char* caption, UINT type)
{
    QPointer<QMessageBox> box(NewBox(text, caption, type));
    const PlatWindow* window = owner != nullptr ? PlatQtFind(owner) : nullptr;
    if (window != nullptr && window->widget != nullptr)
        box->setParent(window->widget->window(), box->windowFlags());
    box->exec();
    const int answer = box.isNull() ? CancelAnswer(type) : AnswerOf(*box, type);
    delete box.data(); // gone already when its owner went during the loop
    return answer;
}

// The answer a worker thread waits for.
struct WorkerAnswer {
    std::mutex lock;
    std::condition_variable given;
    bool done = false;
    int id = 0;
    void Give(int answer)
    {
        std::lock_guard<std::mutex> g(lock);
        if (done)
            return;
        done = true;
        id = answer;
        given.notify_one();
    }
};

// User-interface thread only.
std::vector<QPointer<QMessageBox>> gWorkerBoxes;
int gServing = 0; // depth of PlatQtServeWorkerBoxes

bool InWorkerBox(QObject* receiver)
{
    for (const QPointer<QMessageBox>& box : gWorkerBoxes) {
        if (!box)
            continue;
        if (receiver == box->windowHandle())
            return true;
        if (auto* widget = qobject_cast<QWidget*>(receiver); widget && widget->window() == box)
            return true;
    }
    return false;
}

bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::Close:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

// While the user-interface thread waits, input reaches worker boxes only.
class WaitInputFilter : public QObject {
protected:
    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        return gServing > 0 && IsInput(e->type()) && !InWorkerBox(receiver);
    }
};

// From a worker thread: a box that holds only that thread, answered on the
// user-interface thread like any window. 0 when there is no such thread.
int AskFromWorker(const char* text, const char* caption, UINT type)
{
    auto answer = std::make_shared<WorkerAnswer>();
    const bool shown = PlatQtOnUi(nullptr, [&] {
        static WaitInputFilter* filter = nullptr;
        if (!filter) {
            filter = new WaitInputFilter;
            QCoreApplication::instance()->installEventFilter(filter);
        }
        QMessageBox* box = NewBox(text, caption, type);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QDialog::finished, [box, type, answer] { answer->Give(AnswerOf(*box, type)); });
        // Gone without an answer (the application ends): the worker goes on.
        QObject::connect(box, &QObject::destroyed, [type, answer] { answer->Give(CancelAnswer(type)); });
        std::erase_if(gWorkerBoxes, [](const QPointer<QMessageBox>& b) { return b.isNull(); });
        gWorkerBoxes.emplace_back(box);
        box->show();
        box->raise();
    });
    if (!shown)
        return 0;
    std::unique_lock<std::mutex> g(answer->lock);
    answer->given.wait(g, [&] { return answer->done; });
    return answer->id;
}

} // namespace

bool PlatQtWorkerBoxesOpen()
{
    for (const QPointer<QMessageBox>& box : gWorkerBoxes)
        if (box && box->isVisible())
            return true;
    return false;
}

bool PlatQtServingWorkerBoxes()
{
    return gServing > 0;
}

void PlatQtServeWorkerBoxes(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    QTimer bound; // ends the wait for events at the deadline
    bound.setSingleShot(true);
    bound.start(static_cast<int>(std::clamp<long long>(left.count(), 0, 50)));
    ++gServing;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    --gServing;
}

namespace {

// A Windows filter ("描述\0*.txt;*.log\0...") as Qt name filters. Windows
// shows each description exactly as given, so the chooser hides what Qt would
// append (HideNameFilterDetails) and keeps the patterns in the parentheses Qt
// reads them from. "*.*" means every file on Windows; here a name needs no
// dot to be a file, so it becomes "*".
QString QtFilter(const char* filter)
{
    QStringList parts;
    while (filter && *filter) {
        const char* description = filter;
        const char* pattern = description + std::strlen(description) + 1;
        if (!*pattern)
            break;
        QStringList patterns;
        for (QString p : QString::fromUtf8(pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            p = p.trimmed();
            patterns << (p == QLatin1String("*.*") ? QStringLiteral("*") : p);
        }
        parts << QString::fromUtf8(description) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                     QLatin1Char(')');
        filter = pattern + std::strlen(pattern) + 1;
    }
    return parts.join(QStringLiteral(";;"));
}

// What the chooser's lists show, in the program's language whatever the
// system's: Qt formats sizes and dates with the system's locale and leaves
// "Folder" untranslated, so those columns are rewritten here.
class ChineseColumns : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || index.column() == 0)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        switch (index.column()) {
        case 1: return files->isDir(source) ? QString() : SizeText(files->size(source));
        case 2:
            return files->isDir(source) ? QStringLiteral("文件夹") : QIdentityProxyModel::data(index, role);
        case 3: return chinese.toString(files->lastModified(source), QStringLiteral("yyyy/M/d H:mm"));
        default: return QIdentityProxyModel::data(index, role);
        }
    }
    static QString SizeText(qint64 bytes)
    {
        if (bytes < 1024)
            return QStringLiteral("%1 字节").arg(bytes);
        return QLocale(QLocale::Chinese, QLocale::China).formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
    }
};

// Widens what would cut a name: the side bar to its longest entry, the
// list's columns to their contents once the folder is read.
void FitColumns(QFileDialog& dialog)
{
    if (auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"))) {
        const int wanted = sidebar->sizeHintForColumn(0) + 2 * sidebar->frameWidth() + 8;
        if (auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
            splitter && splitter->sizes().size() == 2 && splitter->sizes().first() < wanted) {
            const int total = splitter->sizes().first() + splitter->sizes().last();
            dialog.resize(dialog.width() + wanted - splitter->sizes().first(), dialog.height());
            splitter->setSizes({wanted, std::max(total, splitter->width()) - wanted});
        }
        sidebar->setMinimumWidth(wanted);
    }
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view)
        return;
    // With room to spare beyond the delegate's own margins, so no text is elided.
    auto fit = [view] {
        for (int column = 1; column < view->header()->count(); ++column) {
            view->resizeColumnToContents(column);
            view->setColumnWidth(column, view->columnWidth(column) + 12);
        }
    };
    auto* files = dialog.findChild<QFileSystemModel*>();
    if (files)
        QObject::connect(files, &QFileSystemModel::directoryLoaded, view, fit);
    QObject::connect(view->model(), &QAbstractItemModel::dataChanged, view, fit);
    fit();
}

// The folder of the last file chosen in this run: the chooser opens there
// when the program names none, as the Windows chooser returns to the folder
// an application last used. User-interface thread only.
QString gLastFolder;

bool ChooseFile(const OPENFILENAMEA& ofn, bool save, std::string& path)
{
    const QString start = ofn.lpstrInitialDir && *ofn.lpstrInitialDir ? QString::fromUtf8(ofn.lpstrInitialDir)
                                                                       : gLastFolder;
    QString title = QString::fromUtf8(ofn.lpstrTitle ? ofn.lpstrTitle : "");
    if (title.isEmpty())
        title = save ? QStringLiteral("保存") : QStringLiteral("打开");
    // Qt's own chooser, never the desktop's: it speaks the program's
    // language (Chinese) and opens where it is told. Replacing a file is
    // asked about by the caller, as for a scripted choice.
    QFileDialog dialog(nullptr, title, start, QtFilter(ofn.lpstrFilter));
    dialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::DontUseNativeDialog |
                      QFileDialog::DontConfirmOverwrite);
    dialog.setProxyModel(new ChineseColumns(&dialog));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("保存(&S)"));
        if (ofn.lpstrFile && *ofn.lpstrFile)
            dialog.selectFile(QString::fromUtf8(ofn.lpstrFile));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("打开(&O)"));
    }
    FitColumns(dialog);
    QString file;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        file = dialog.selectedFiles().first();
    if (!file.isEmpty())
        gLastFolder = QFileInfo(file).absolutePath();
    path = file.toStdString();
    return !file.isEmpty();
}

// A name without an extension gets the program's default one, as the
// Windows chooser adds lpstrDefExt.
std::string WithDefaultExtension(std::string path, const char* extension)
{
    if (!extension || !*extension || QFileInfo(QString::fromStdString(path)).isDir())
        return path;
    const size_t slash = path.find_last_of('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    if (path.find('.', nameAt) == std::string::npos && nameAt < path.size())
        path += std::string(".") + extension;
    return path;
}

} // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    int answer = 0;
    if (PlatMessageBoxHooked(owner, text, caption, type, answer))
        return answer;
    if (QCoreApplication::instance() == nullptr || PlatQtOnUiThread()) {
        PlatQtEnsureApp();
        return ShowModalBox(owner, text, caption, type);
    }
    return AskFromWorker(text, caption, type);
}

namespace {
thread_local DWORD gChooserError = 0; // what CommDlgExtendedError answers
} // namespace

DWORD CommDlgExtendedError()
{
    return gChooserError;
}

namespace {

// Open and save share all but their checks: an open needs the file to be
// there (OFN_FILEMUSTEXIST); a save takes a new name, adds the default
// extension and, with OFN_OVERWRITEPROMPT, asks before replacing a file
// (a "否" opens the chooser again, as on Windows).
BOOL RunChooser(LPOPENFILENAMEA ofn, bool save)
{
    gChooserError = 0;
    if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path;
    for (;;) {
        bool chosen = false;
        if (auto& seam = PlatQtTestHooks().fileChooser) {
            chosen = seam(*ofn, save, path);
        } else {
            PlatQtEnsureApp();
            PlatQtOnUi(nullptr, [&] { chosen = ChooseFile(*ofn, save, path); });
        }
        if (!chosen || path.empty()) {
            SetLastError(ERROR_SUCCESS); // cancelled: no error
            return FALSE;
        }
        if (!save)
            break;
        path = WithDefaultExtension(path, ofn->lpstrDefExt);
        const QFileInfo file(QString::fromStdString(path));
        if ((ofn->Flags & OFN_PATHMUSTEXIST) && !file.absoluteDir().exists()) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        if (!(ofn->Flags & OFN_OVERWRITEPROMPT) || !file.exists() || file.isDir())
            break;
        const std::string question = path.substr(path.find_last_of('/') + 1) + " 已存在。\n要替换它吗?";
        const char* caption = ofn->lpstrTitle && *ofn->lpstrTitle ? ofn->lpstrTitle : "确认另存为";
        if (MessageBoxA(ofn->hwndOwner, question.c_str(), caption, MB_YESNO | MB_ICONWARNING) == IDYES)
            break;
    }
    // The chooser does not let a missing file through when it must exist.
    if ((ofn->Flags & OFN_FILEMUSTEXIST) && !QFileInfo(QString::fromStdString(path)).isFile()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (path.size() + 1 > ofn->nMaxFile) {
        // As Windows does: the size needed in the first two bytes.
        if (ofn->nMaxFile >= 2) {
            const WORD need = static_cast<WORD>(std::min<size_t>(path.size() + 1, 0xFFFF));
            std::memcpy(ofn->lpstrFile, &need, sizeof need);
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        gChooserError = FNERR_BUFFERTOOSMALL;
        return FALSE;
    }
    std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
    const size_t slash = path.find_last_of('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    ofn->nFileOffset = static_cast<WORD>(nameAt);
    ofn->nFileExtension = static_cast<WORD>(dot != std::string::npos && dot >= nameAt ? dot + 1 : 0);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0)
        PlatQtCopyText(path.substr(nameAt), ofn->lpstrFileTitle, static_cast<int>(ofn->nMaxFileTitle));
    return TRUE;
}

} // namespace

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn)
{
    return RunChooser(ofn, false);
}

BOOL GetSaveFileNameA(LPOPENFILENAMEA ofn)
{
    return RunChooser(ofn, true);
}

int GetSystemMetrics(int index)
{
    const PlatQtHooks& hooks = PlatQtTestHooks();
    if (index == SM_CXSCREEN && hooks.screenWidth > 0)
        return hooks.screenWidth;
    if (index == SM_CYSCREEN && hooks.screenHeight > 0)
        return hooks.screenHeight;
    if (index != SM_CXSCREEN && index != SM_CYSCREEN)
        return 0;
    int value = 0;
    if (PlatQtOnUiThread() || !QCoreApplication::instance())
        PlatQtEnsureApp();
    PlatQtOnUi(nullptr, [&] {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            value = index == SM_CXSCREEN ? screen->geometry().width() : screen->geometry().height();
    });
    return value;
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    // The program has one module: itself.
    if (name) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
}

LPSTR GetCommandLineA()
{
    static char line[] = "mptest";
    return line;
}

void InitCommonControls()
{
    PlatQtEnsureApp();
}
