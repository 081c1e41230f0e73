#include "support/server/contentserverprocess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>

int startContentServer(QProcess& server, const QStringList& arguments, const QString& home,
                       const QString& logFile) {
    if (!home.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        server.setProcessEnvironment(env);
    }
    server.setStandardErrorFile(logFile.isEmpty() ? QProcess::nullDevice() : logFile);
    server.start(qEnvironmentVariable("VANTORO_BUILD_DIR") +
                     QStringLiteral("/server/vantoro-content-server"),
                 QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    if (!server.waitForStarted())
        return 0;
    QDeadlineTimer started(20000);
    while (!server.canReadLine() && !started.hasExpired() && server.state() == QProcess::Running)
        server.waitForReadyRead(200);
    const QString first = QString::fromUtf8(server.readLine()).trimmed();
    const auto match =
        QRegularExpression(QStringLiteral("^http://127\\.0\\.0\\.1:(\\d+)$")).match(first);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}
