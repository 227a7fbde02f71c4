// A console program on this system's window layer: Qt on its offscreen
// platform, whatever display there is, so nothing is ever shown and no
// display is needed; Qt's own messages are dropped, as they would only
// confuse a script reading standard error.
#include "platform/qt/qtwin.h"
#include "platform/linux/testhooks.h"
#include "platform/station.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

void (*gSink)(const char* text, const char* caption) = nullptr;

void DropToolkitMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::abort();
    }
}

} // namespace

void PlatStartConsoleProgram(void (*sink)(const char* text, const char* caption))
{
    gSink = sink;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(DropToolkitMessages);
    PlatSetMessageBoxHook([](HWND, const char* text, const char* caption, UINT) {
        gSink(text, caption);
        return IDOK;
    });
    PlatQtEnsureApp();
}

bool PlatIsConsoleProgram()
{
    return gSink != nullptr;
}
