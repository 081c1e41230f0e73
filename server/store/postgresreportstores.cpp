#include "server/store/postgresreportstores.h"

#include "server/serverlog.h"
#include "server/store/postgresreportstore.h"
#include "server/store/reportstores.h"

#include <QUrl>

void PostgresReportStores::install() {
    ReportStores::setPostgresOpener([](const QString& url) -> std::unique_ptr<ReportStore> {
        auto store = std::make_unique<PostgresReportStore>(url);
        QString error;
        // The tables are then set up when the database is first reached.
        if (!store->open(&error))
            qCWarning(lcServer).noquote()
                << "the report database" << QUrl(url).toString(QUrl::RemovePassword)
                << "cannot be used yet - reports are refused until it can:" << error;
        return store;
    });
}
