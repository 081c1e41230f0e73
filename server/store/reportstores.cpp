#include "server/store/reportstores.h"

#include "server/serverlog.h"
#include "server/store/sqlitereportstore.h"

#include <QFileInfo>
#include <QUrl>

namespace {

const QLatin1String kSqlite("sqlite:");

ReportStores::Opener& postgresOpener() {
    static ReportStores::Opener opener;
    return opener;
}

} // namespace

void ReportStores::setPostgresOpener(Opener opener) {
    postgresOpener() = std::move(opener);
}

bool ReportStores::isPostgres(const QString& url) {
    return url.startsWith(QLatin1String("postgresql://")) ||
           url.startsWith(QLatin1String("postgres://"));
}

QString ReportStores::check(const QString& url) {
    if (url.startsWith(kSqlite))
        return url.size() > kSqlite.size() ? QString()
                                           : QStringLiteral("sqlite: wants the path of a file");
    if (isPostgres(url))
        return QString();
    return QStringLiteral("a database URL is sqlite:PATH or postgresql://..., not %1").arg(url);
}

QString ReportStores::sqliteUrl(const QString& path) {
    return kSqlite + path;
}

QString ReportStores::sqlitePath(const QString& url) {
    return url.startsWith(kSqlite) ? url.sliced(kSqlite.size()) : QString();
}

std::unique_ptr<ReportStore> ReportStores::open(const QString& url) {
    auto store = std::make_unique<SqliteReportStore>();
    if (isPostgres(url)) {
        if (postgresOpener())
            return postgresOpener()(url);
        // Left closed: reports are refused, pages are served.
        qCWarning(lcServer).noquote()
            << "this program has no PostgreSQL store; the report database"
            << QUrl(url).toString(QUrl::RemovePassword) << "cannot be used - reports are refused";
        return store;
    }
    const QString path = sqlitePath(url);
    QString error;
    // Pages do not need the database; without it only the collector answers 503.
    if (!store->open(path, &error))
        qCWarning(lcServer).noquote() << "cannot open the report database" << path << ':' << error
                                      << "- reports will be refused";
    return store;
}
