#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <mutex>

struct sqlite3;

// The analytics reports the collector has received, in an SQLite file. The
// uploader retries until it hears back, so the same record can arrive more
// than once; a record id is kept only the first time it is seen.
class ReportStore {
public:
    struct Record {
        QString id; // null when the record carries none
        // The record's own JSON text, a view into the report's text.
        QByteArrayView json;
    };

    struct Report {
        QList<Record> records;
        // What the application says it dropped unsent.
        qint64 droppedRecords = 0;
    };

    struct Outcome {
        bool ok = false;
        int stored = 0;
        int duplicates = 0;
    };

    ReportStore() = default;
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    // Opens (creating when needed) the database file; false with a reason.
    // A file from before reports were kept as counts loses its report
    // bodies, not its records; a file from before the records' facts were
    // kept has them read from the records once.
    bool open(const QString& path, QString* error);
    bool isOpen() const;
    void close();

    // Keeps the records not seen before and one row that counts the report
    // (`clientClass` may be empty), all or nothing. The report's own text is
    // not kept: the records and the counts are all that is read back.
    Outcome store(const Report& report, const QString& clientClass = {});

    // The reports kept: a report with neither records nor a drop count
    // leaves nothing and is not counted.
    int reportCount() const;
    // What the reports kept say the application dropped unsent, in all.
    qint64 droppedRecords() const;
    // The record ids kept, in the order they arrived.
    QStringList recordIds() const;
    // The sender class of each report row, in the order they arrived (empty
    // where the sender was not known).
    QStringList reportClients() const;
    // The records kept, as JSON, in the order they arrived.
    QList<QByteArray> recordBodies() const;

    // Runs one read-only statement with `?` parameters (null, integer,
    // double or text by the variant's type) and returns its rows: integers
    // as qlonglong, reals as double, text as QString, NULL as a null
    // variant. Empty with `error` set when it fails or would write. Each
    // record also has columns of what the figures need (RecordFacts): kind,
    // event_id, label, ts, day, duration, crash_kind, crash_build,
    // crash_frame, crash_group.
    QList<QVariantList> select(const char* sql, const QVariantList& params, QString* error) const;

private:
    bool exec(const char* sql);
    bool createSchema();
    bool upgradeSchema();
    bool hasReportBodies();
    bool keepFacts();
    bool readFactsAgain();
    qint64 insertReport(const Report& report, const QString& clientClass);
    bool insertRecords(qint64 reportId, const Report& report, Outcome* outcome);

    mutable std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};
