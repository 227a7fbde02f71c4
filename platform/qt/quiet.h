// Qt's start-up chatter that tells the user of a command-line tool nothing
// (XDG_RUNTIME_DIR is not set under su, cron or a container, and Qt then
// picks its own folder): dropped before Qt starts. Every other message goes
// on as before. Header only, for mptest and mptest-printer alike.
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>

inline void PlatQtQuietChatter()
{
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
                return;
            if (previous != nullptr)
                previous(type, context, text);
            else
                std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        });
}
