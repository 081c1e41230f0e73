#pragma once

#include "server/http/trustedproxies.h"

#include <QString>
#include <QUrl>

class QCommandLineParser;

// What vantoro-content-server is told on its command line, checked.
struct ServerOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 0;
    // Empty: the defaults (the user's data folder, the sample content, a
    // token kept in the data folder, the address it listens on).
    QString dataFolder;
    QString contentFolder;
    QString adminTokenFile;
    QUrl publicUrl;
    // sqlite:PATH or postgresql://...; empty for the SQLite file in the data folder.
    QString databaseUrl;
    // Whose forwarded client header is taken; none by default.
    TrustedProxies trustedProxies;
    // Records a second one client may send; 0 for no limit.
    double clientRecordsPerSecond = -1;
    // Days records are kept; 0 for ever.
    int keepDays = 0;
    // Why the line cannot be followed; empty when it can.
    QString error;

    static void addTo(QCommandLineParser& parser);
    // From a parser that addTo() filled and that has parsed the line.
    static ServerOptions from(const QCommandLineParser& parser);
};
