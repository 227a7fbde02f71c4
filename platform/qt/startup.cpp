// The start of the program on this system: the application object and the
// user-interface thread, the display it cannot do without, and Qt's own texts
// in the program's language.
#include "platform/qt/startup.h"

#include "platform/qt/qtwin.h"
#include "platform/qt/quiet.h"
#include "platform/linux/notices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageLogContext>
#include <QThread>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kNoDisplay[] =
    "mptest: 没有可用的图形显示。mptest 是图形界面程序，需要桌面环境（DISPLAY 或 WAYLAND_DISPLAY）。\n"
    "没有显示器时请用 mptest-cli：它不需要显示，能完成 mptest 的每一项工作（发送命令和文件、测试打印、"
    "下载固件和字库、写入机器编号），见 mptest-cli --help 或 man mptest-cli。\n"
    "mptest needs a graphical display; without one, mptest-cli does every job of mptest (mptest-cli --help).\n";

// What Qt says while it connects, held until it is known whether it could.
struct Held {
    QtMsgType type;
    std::string category;
    QString text;
};
std::vector<Held> gHeld;
QtMessageHandler gPrevious = nullptr;

void HoldWhileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        // The only fatal message of the start is "no platform plugin could
        // be initialized": no display. Qt's own words before it are noise.
        std::fputs(kNoDisplay, stderr);
        std::_Exit(1);
    }
    gHeld.push_back({type, context.category ? context.category : "", text});
}

} // namespace

void PlatQtRequireDisplay()
{
    // What the platform must tell the user is shown, not only printed.
    PlatSetNoticeHandler(
        [](const std::string& text) { MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONERROR); });
    PlatQtQuietChatter();
    gPrevious = qInstallMessageHandler(HoldWhileStarting);
    PlatQtEnsureApp();
    qInstallMessageHandler(gPrevious);
    for (const Held& m : gHeld) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.c_str());
        if (gPrevious != nullptr)
            gPrevious(m.type, context, m.text);
    }
    gHeld.clear();
}

void PlatQtEnsureApp()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char arg0[] = "mptest";
        static char* argv[] = {arg0, nullptr};
        new QApplication(argc, argv);
    }
    // Windows end only by EndDialog or DestroyWindow, never by Qt's rule
    // for the last window closed.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // The thread of the QApplication is the user-interface thread; windows
    // are made there only.
    if (!PlatQtUiReady() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        PlatQtStartPump();
        PlatQtSpeakChinese();
        PlatQtSetUiThread();
    }
}

void PlatQtSpeakChinese()
{
    // The program speaks Chinese whatever the system's language, so Qt's own
    // words (the file chooser, message-box buttons) do too: 打开, 取消, 确定.
    static QTranslator* qtbase = nullptr; // user-interface thread only
    if (qtbase != nullptr)
        return;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    qtbase = new QTranslator(QCoreApplication::instance());
    if (qtbase->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtbase);
}
