#include "platform/system/quitsignals.h"
#include "server/contentserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // The same application folders as the application itself, so that the
    // embedded and the stand-alone server keep their reports in one place.
    QCoreApplication::setApplicationName(QStringLiteral("Vantoro"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves Vantoro's web pages and share landing pages and collects "
                       "analytics reports."));
    parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"),
                                        QStringLiteral("Address to listen on (127.0.0.1)."),
                                        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on; 0 takes a free one."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption dataOption(QStringLiteral("data"),
                                        QStringLiteral("Folder for the report database."),
                                        QStringLiteral("dir"));
    const QCommandLineOption contentOption(
        QStringLiteral("content"),
        QStringLiteral("Folder of the articles (articles/*.md) and the ranking (pm25rank.json), "
                       "watched for changes; the sample content when not given."),
        QStringLiteral("dir"));
    parser.addOptions({hostOption, portOption, dataOption, contentOption});
    parser.process(app);

    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 0 || port > 65535) {
        std::fprintf(stderr, "vantoro-content-server: --port wants a number from 0 to 65535\n");
        return 2;
    }
    ContentServer server;
    if (parser.isSet(dataOption))
        server.setDataFolder(parser.value(dataOption));
    if (parser.isSet(contentOption)) {
        const QString content = parser.value(contentOption);
        const QFileInfo folder(content);
        if (content.isEmpty() || !folder.isDir() || !folder.isReadable() ||
            !folder.isExecutable()) {
            std::fprintf(stderr,
                         "vantoro-content-server: --content %s is not a folder this user "
                         "can read\n",
                         qPrintable(content));
            return 2;
        }
        server.setContentFolder(folder.absoluteFilePath());
    }
    if (!server.start(parser.value(hostOption), port)) {
        std::fprintf(stderr, "vantoro-content-server: cannot listen on %s port %d\n",
                     qPrintable(parser.value(hostOption)), port);
        return 1;
    }
    // Scripts and the application read the address from the first line.
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);

    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app,
                     [] { QCoreApplication::quit(); });
    const int status = app.exec();
    server.stop();
    return status;
}
