#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class ContentServer;
class ReportStore;

// What a report store holds, read as the tests check it: through the
// store's own read-only queries, the same on SQLite and PostgreSQL. Every
// read is empty while there is no store.
class StoredReports {
public:
    explicit StoredReports(const ReportStore* store) : m_store(store) {}
    explicit StoredReports(const ReportStore& store) : m_store(&store) {}
    // The store the server's last start() opened.
    explicit StoredReports(const ContentServer& server);

    // The reports kept: a report with neither records nor a drop count
    // leaves no row.
    int reportCount() const;
    // What the reports kept say the application dropped unsent, in all.
    qint64 droppedRecords() const;
    // In the order they arrived.
    QStringList recordIds() const;
    // The sender class of each report, in order; empty where not known.
    QStringList reportClients() const;
    QList<QByteArray> recordBodies() const;

private:
    QList<QVariant> column(const char* sql) const;

    const ReportStore* m_store;
};
