#pragma once

#include "server/store/reportstore.h"

#include <mutex>

struct sqlite3;

// The reports in an SQLite file: the store of one server process on one
// machine, and the default.
class SqliteReportStore : public ReportStore {
public:
    SqliteReportStore() = default;
    ~SqliteReportStore() override;
    SqliteReportStore(const SqliteReportStore&) = delete;
    SqliteReportStore& operator=(const SqliteReportStore&) = delete;

    // Opens (creating when needed) the database file; false with a reason.
    // A file from before reports were kept as counts loses its report
    // bodies, not its records; a file from before the records' facts were
    // kept has them read from the records once.
    bool open(const QString& path, QString* error);
    bool isOpen() const override;
    void close() override;
    Outcome store(const Report& report, const QString& clientClass = {}) override;
    QList<QVariantList> select(const char* sql, const QVariantList& params,
                               QString* error) const override;
    bool beginSession(const QByteArray& digest, qint64 expires, qint64 now) override;
    SessionState sessionState(const QByteArray& digest, qint64 now) const override;
    bool endSession(const QByteArray& digest) override;
    bool probeWrite() override;
    Removal removeBefore(double ts, int batch) override;

private:
    // Runs one removal statement with the cutoff's ts, received text and
    // the batch bound; the rows it took away, or -1.
    qint64 removeRows(const char* sql, double ts, const QByteArray& received, int batch);
    bool exec(const char* sql);
    bool createSchema();
    bool upgradeSchema();
    bool hasReportBodies();
    bool keepFacts();
    bool readFactsAgain();
    qint64 insertReport(const Report& report, const QString& clientClass);
    bool insertRecords(qint64 reportId, const Report& report, Outcome* outcome);

    static constexpr int kBusyTimeoutMs = 2000;

    mutable std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};
