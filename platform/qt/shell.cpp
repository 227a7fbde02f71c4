// The rest of the user-interface subset: message boxes and the file chooser
// (each through one seam tests can take over), screen metrics, the module
// handle, the command line and the common-controls start-up.
#include "platform/qt/qtwin.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include <cstring>

PlatQtHooks& PlatQtTestHooks()
{
    static PlatQtHooks hooks;
    return hooks;
}

namespace {

int ShowMessageBox(const char* text, const char* caption, UINT type)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
    case MB_ICONHAND: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox box(icon, QString::fromUtf8(caption ? caption : "Error"), QString::fromUtf8(text ? text : ""));
    switch (type & 0xF) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return (type & 0xF) == MB_OKCANCEL && box.clickedButton() == nullptr ? IDCANCEL : IDOK;
    }
}

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

bool ChooseFile(const OPENFILENAMEA& ofn, std::string& path)
{
    const QString file = QFileDialog::getOpenFileName(
        nullptr, QString::fromUtf8(ofn.lpstrTitle ? ofn.lpstrTitle : ""),
        QString::fromUtf8(ofn.lpstrInitialDir ? ofn.lpstrInitialDir : ""), QtFilter(ofn.lpstrFilter), nullptr,
        QFileDialog::HideNameFilterDetails);
    path = file.toStdString();
    return !file.isEmpty();
}

} // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (auto& seam = PlatQtTestHooks().messageBox)
        return seam(owner, text, caption, type);
    if (QCoreApplication::instance() == nullptr || PlatQtOnUiThread())
        PlatQtEnsureApp();
    int result = 0;
    PlatQtOnUi(nullptr, [&] { result = ShowMessageBox(text, caption, type); });
    return result;
}

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn)
{
    if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path;
    bool chosen = false;
    if (auto& seam = PlatQtTestHooks().fileChooser) {
        chosen = seam(*ofn, path);
    } else {
        PlatQtEnsureApp();
        PlatQtOnUi(nullptr, [&] { chosen = ChooseFile(*ofn, path); });
    }
    if (!chosen || path.empty()) {
        SetLastError(ERROR_SUCCESS); // cancelled: no error
        return FALSE;
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
