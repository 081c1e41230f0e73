#include "support/server/storedreports.h"

#include "server/contentserver.h"
#include "server/store/reportstore.h"

#include <QTest>

StoredReports::StoredReports(const ContentServer& server) : m_store(server.reportStore()) {}

QList<QVariant> StoredReports::column(const char* sql) const {
    QList<QVariant> values;
    if (!m_store)
        return values;
    QString error;
    for (const QVariantList& row : m_store->select(sql, {}, &error))
        values << row.value(0);
    // A failed read must not pass for an empty store.
    if (!error.isEmpty() && error != QLatin1String("no database"))
        qWarning("stored reports: %s: %s", sql, qPrintable(error));
    return values;
}

int StoredReports::reportCount() const {
    return column("SELECT COUNT(*) FROM reports").value(0).toInt();
}

qint64 StoredReports::droppedRecords() const {
    return column("SELECT CAST(COALESCE(SUM(dropped), 0) AS BIGINT) FROM reports")
        .value(0)
        .toLongLong();
}

QStringList StoredReports::recordIds() const {
    QStringList ids;
    for (const QVariant& id :
         column("SELECT record_id FROM records WHERE record_id IS NOT NULL ORDER BY id"))
        ids << id.toString();
    return ids;
}

QStringList StoredReports::reportClients() const {
    QStringList clients;
    for (const QVariant& client : column("SELECT COALESCE(client, '') FROM reports ORDER BY id"))
        clients << client.toString();
    return clients;
}

QList<QByteArray> StoredReports::recordBodies() const {
    QList<QByteArray> bodies;
    for (const QVariant& body : column("SELECT body FROM records ORDER BY id"))
        bodies << body.toString().toUtf8();
    return bodies;
}
