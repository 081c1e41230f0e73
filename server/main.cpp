#include "platform/system/quitsignals.h"
#include "server/admin/admintoken.h"
#include "server/contentserver.h"
#include "server/http/httplimits.h"
#ifdef VANTORO_POSTGRES
#include "server/store/postgresreportstores.h"
#endif
#include "server/serverlog.h"
#include "server/serveroptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <optional>

namespace {

void fail(const QString& message) {
    std::fprintf(stderr, "vantoro-content-server: %s\n", qPrintable(message));
}

// The operator's file, or the server's own in its data folder.
std::optional<AdminToken> adminToken(const ServerOptions& options, const QString& dataFolder) {
    QString error;
    if (!options.adminTokenFile.isEmpty()) {
        auto token = AdminToken::readFile(options.adminTokenFile, &error);
        if (!token)
            fail(error);
        else if (QFileInfo(options.adminTokenFile).permissions() &
                 (QFileDevice::ReadGroup | QFileDevice::ReadOther))
            qCWarning(lcServer).noquote() << "the admin token file" << options.adminTokenFile
                                          << "can be read by other users; make it mode 0600";
        return token;
    }
    bool created = false;
    auto token = AdminToken::loadOrCreate(dataFolder, &created, &error);
    if (!token)
        fail(error);
    else
        qCInfo(lcServer).noquote() << (created ? "created the admin token" : "admin token:")
                                   << dataFolder + u'/' + QLatin1String(AdminToken::kFileName);
    return token;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // The same application folders as the application itself, so that the
    // embedded and the stand-alone server keep their reports in one place.
    QCoreApplication::setApplicationName(QStringLiteral("Vantoro"));
#ifdef VANTORO_POSTGRES
    PostgresReportStores::install();
#endif

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves Vantoro's web pages and share landing pages, collects analytics "
                       "reports, and shows the operator's dashboard at /admin."));
    parser.addHelpOption();
    ServerOptions::addTo(parser);
    parser.process(app);
    const ServerOptions options = ServerOptions::from(parser);
    if (!options.error.isEmpty()) {
        fail(options.error);
        return 2;
    }

    ContentServer server;
    if (!options.dataFolder.isEmpty())
        server.setDataFolder(options.dataFolder);
    server.setContentFolder(options.contentFolder);
    server.setPublicUrl(options.publicUrl);
    server.setDatabaseUrl(options.databaseUrl);
    server.setClientRecordsPerSecond(options.clientRecordsPerSecond);
    server.setKeepDays(options.keepDays);
    server.setLockSqliteStore(true);
    server.setTrustedProxies(options.trustedProxies);
    const std::optional<AdminToken> token = adminToken(options, server.dataFolder());
    if (!token)
        return 1;
    server.setAdminToken(*token);
    if (!server.start(options.host, options.port)) {
        fail(QStringLiteral("cannot start on %1 port %2 (see above)")
                 .arg(options.host)
                 .arg(options.port));
        return 1;
    }
    // Scripts and the application read the address from the first line.
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    qCInfo(lcServer).noquote() << "players reach it at" << server.publicUrl().toString()
                               << "- the dashboard is at" << server.baseUrl() + "/admin";

    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app,
                     [] { QCoreApplication::quit(); });
    const int status = app.exec();
    server.shutdown(HttpLimits::kShutdownLimit);
    return status;
}
