#include "server/serveroptions.h"

#include "server/publicroutes.h"
#include "server/store/reportstores.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

const QString kHost = QStringLiteral("host");
const QString kPort = QStringLiteral("port");
const QString kData = QStringLiteral("data");
const QString kContent = QStringLiteral("content");
const QString kTokenFile = QStringLiteral("admin-token-file");
const QString kPublicUrl = QStringLiteral("public-url");
const QString kDatabase = QStringLiteral("database");
const QString kClientRate = QStringLiteral("client-records-per-second");
const QString kTrustedProxy = QStringLiteral("trusted-proxy");
const QString kKeepDays = QStringLiteral("keep-days");

// The scheme and authority players use; a path would have to be known to
// every link the pages carry, so none is taken.
bool isPublicUrl(const QUrl& url) {
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty() && (url.path().isEmpty() || url.path() == QLatin1String("/")) &&
           !url.hasQuery() && !url.hasFragment() && url.userInfo().isEmpty();
}

} // namespace

void ServerOptions::addTo(QCommandLineParser& parser) {
    parser.addOptions({
        {kHost, QStringLiteral("Address to listen on (127.0.0.1)."), QStringLiteral("address"),
         QStringLiteral("127.0.0.1")},
        {kPort, QStringLiteral("Port to listen on; 0 takes a free one."), QStringLiteral("port"),
         QStringLiteral("0")},
        {kData, QStringLiteral("Folder for the report database and the admin token."),
         QStringLiteral("dir")},
        {kContent,
         QStringLiteral("Folder of the articles (articles/*.md) and the ranking (pm25rank.json), "
                        "watched for changes; the sample content when not given."),
         QStringLiteral("dir")},
        {kTokenFile,
         QStringLiteral("File holding the operator's token for /admin; without it the server "
                        "creates one in its data folder (mode 0600)."),
         QStringLiteral("file")},
        {kDatabase,
         QStringLiteral("Where reports are kept: sqlite:PATH (default: reports.sqlite in the data "
                        "folder) or postgresql://USER@HOST:PORT/DB, which several server "
                        "processes may share."),
         QStringLiteral("url")},
        {kPublicUrl,
         QStringLiteral("Address players reach this server at, such as https://vantoro.example.com "
                        "behind a reverse proxy; landing pages link with it."),
         QStringLiteral("url")},
        {kTrustedProxy,
         QStringLiteral("A reverse proxy (ADDRESS or ADDRESS/PREFIX; repeatable) whose "
                        "X-Forwarded-For or Forwarded header names the client, for the limits, "
                        "the admin throttle and the reports' address class. From anyone else "
                        "those headers are ignored."),
         QStringLiteral("address")},
        {kClientRate,
         QStringLiteral("Analytics records one client (an IPv4 address or an IPv6 /64) may send "
                        "a second, on average; more gets 429. 0 for no limit."),
         QStringLiteral("n"), QString::number(PublicRoutes::kDefaultRecordsPerSecond)},
        {kKeepDays,
         QStringLiteral("Removes analytics records older than n days (whole UTC days), at start "
                        "and then daily; without it they are kept for ever."),
         QStringLiteral("n")},
    });
}

ServerOptions ServerOptions::from(const QCommandLineParser& parser) {
    ServerOptions options;
    options.host = parser.value(kHost);
    bool portOk = false;
    options.port = parser.value(kPort).toInt(&portOk);
    if (!portOk || options.port < 0 || options.port > 65535) {
        options.error = QStringLiteral("--port wants a number from 0 to 65535");
        return options;
    }
    options.dataFolder = parser.value(kData);
    options.adminTokenFile = parser.value(kTokenFile);
    if (parser.isSet(kContent)) {
        const QFileInfo folder(parser.value(kContent));
        if (parser.value(kContent).isEmpty() || !folder.isDir() || !folder.isReadable() ||
            !folder.isExecutable()) {
            options.error = QStringLiteral("--content %1 is not a folder this user can read")
                                .arg(parser.value(kContent));
            return options;
        }
        options.contentFolder = folder.absoluteFilePath();
    }
    if (parser.isSet(kDatabase)) {
        options.databaseUrl = parser.value(kDatabase);
        options.error = ReportStores::check(options.databaseUrl);
        if (!options.error.isEmpty()) {
            options.error.prepend(QStringLiteral("--database: "));
            return options;
        }
    }
    std::vector<std::string> proxies;
    for (const QString& proxy : parser.values(kTrustedProxy))
        proxies.push_back(proxy.toStdString());
    std::string proxyError;
    const auto trusted = TrustedProxies::parse(proxies, &proxyError);
    if (!trusted) {
        options.error = QStringLiteral("--trusted-proxy: ") + QString::fromStdString(proxyError);
        return options;
    }
    options.trustedProxies = *trusted;
    bool rateOk = false;
    options.clientRecordsPerSecond = parser.value(kClientRate).toDouble(&rateOk);
    if (!rateOk ||
        !(options.clientRecordsPerSecond >= 0 && options.clientRecordsPerSecond <= 1e9)) {
        options.error = QStringLiteral("--client-records-per-second wants a number from 0 on");
        return options;
    }
    if (parser.isSet(kKeepDays)) {
        bool daysOk = false;
        options.keepDays = parser.value(kKeepDays).toInt(&daysOk);
        if (!daysOk || options.keepDays < 1) {
            options.error = QStringLiteral("--keep-days wants a whole number of days from 1 on");
            return options;
        }
    }
    if (parser.isSet(kPublicUrl)) {
        const QUrl url(parser.value(kPublicUrl), QUrl::StrictMode);
        if (!isPublicUrl(url)) {
            options.error = QStringLiteral("--public-url wants http(s)://HOST[:PORT] with no path, "
                                           "query or user, not %1")
                                .arg(parser.value(kPublicUrl));
            return options;
        }
        options.publicUrl = url;
        options.publicUrl.setPath(QString());
    }
    return options;
}
