#include "server/reportstores.h"

#include "server/postgresreportstore.h"
#include "server/serverlog.h"
#include "server/sqlitereportstore.h"

#include <QFileInfo>
#include <QUrl>

namespace {

const QLatin1String kSqlite("sqlite:");

} // namespace

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

std::unique_ptr<ReportStore> ReportStores::open(const QString& url) {
    if (isPostgres(url)) {
        auto store = std::make_unique<PostgresReportStore>(url);
        QString error;
        // The tables are then set up when the database is first reached.
        if (!store->open(&error))
            qCWarning(lcServer).noquote()
                << "the report database" << QUrl(url).toString(QUrl::RemovePassword)
                << "cannot be used yet - reports are refused until it can:" << error;
        return store;
    }
    auto store = std::make_unique<SqliteReportStore>();
    const QString path = url.sliced(kSqlite.size());
    QString error;
    // Pages do not need the database; without it only the collector answers 503.
    if (!store->open(path, &error))
        qCWarning(lcServer).noquote() << "cannot open the report database" << path << ':' << error
                                      << "- reports will be refused";
    return store;
}
