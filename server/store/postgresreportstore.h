#pragma once

#include "server/store/pgconnectionpool.h"
#include "server/store/reportstore.h"

#include <atomic>
#include <mutex>

class PgResult;
class PgRecordRows;

// The reports in a PostgreSQL database that several server processes share.
// Same tables and rules as the SQLite store; a report is one transaction,
// retried when the database gives it up for a conflict with another.
class PostgresReportStore : public ReportStore {
public:
    // `url` as libpq takes it (postgresql://USER@HOST:PORT/DB?...).
    explicit PostgresReportStore(const QString& url, int connections = 4);
    ~PostgresReportStore() override;
    PostgresReportStore(const PostgresReportStore&) = delete;
    PostgresReportStore& operator=(const PostgresReportStore&) = delete;

    // Reaches the database and sets up its tables; false with a reason when
    // it cannot now, and then it is done on first use. A closed store stays
    // closed.
    bool open(QString* error);
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

    // Tries of one report when the database gives it up for a conflict.
    static constexpr int kAttempts = 4;

private:
    enum class Attempt { Done, Retry, Failed };

    PgConnectionPool::Lease lease(QString* error) const;
    Attempt storeOnce(pg_conn* conn, const Report& report, const PgRecordRows& rows,
                      const QString& clientClass, Outcome* outcome) const;
    Attempt failed(pg_conn* conn, const PgResult& result) const;
    static const QByteArray& storeStatement();
    // One statement on the sessions; a failed result when the database
    // could not run it.
    PgResult sessionStatement(const char* sql, const QList<QByteArray>& params) const;

    mutable PgConnectionPool m_pool;
    mutable std::mutex m_schemaMutex;
    mutable std::atomic<bool> m_schemaReady{false};
    std::atomic<bool> m_closed{false};
};
