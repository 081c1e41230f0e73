#include "server/store/postgresreportstore.h"

#include "server/reports/recordcolumns.h"
#include "server/serverlog.h"
#include "server/store/pgplaceholders.h"
#include "server/store/pgrecordrows.h"
#include "server/store/pgresult.h"
#include "server/store/pgschema.h"

#include <QDateTime>
#include <libpq-fe.h>

namespace {

constexpr Oid kInt8 = 20;
constexpr Oid kText = 25;
constexpr Oid kFloat8 = 701;

// Given up for a conflict with another transaction: worth another try.
bool isConflict(const QByteArray& state) {
    return state == "40001" || state == "40P01";
}

// The select's parameters: as SQLite binds them, integers, reals and text
// (NULL as text, which any column compares with).
void bindValue(const QVariant& value, QList<QByteArray>* params, QList<unsigned>* types) {
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        *params << QByteArray::number(value.toLongLong());
        *types << kInt8;
        return;
    case QMetaType::Double:
        *params << QByteArray::number(value.toDouble(), 'g', 17);
        *types << kFloat8;
        return;
    default:
        *params << (value.isNull() ? QByteArray() : value.toString().toUtf8());
        *types << kText;
    }
}

// The three steps of a removal, in order, as in the SQLite store; $1 is the
// cutoff's ts, $2 its received text, $3 the batch. Each is a transaction of
// its own. Two processes removing at once skip each other's rows.
const char* const kRemovals[] = {
    "DELETE FROM records WHERE id IN (SELECT id FROM records WHERE ts < $1 LIMIT $3)",
    "DELETE FROM records WHERE id IN (SELECT c.id FROM records c JOIN reports r "
    "ON r.id = c.report WHERE c.ts IS NULL AND r.received < $2 LIMIT $3)",
    "DELETE FROM reports WHERE id IN (SELECT r.id FROM reports r WHERE r.received < $2 "
    "AND NOT EXISTS (SELECT 1 FROM records c WHERE c.report = r.id) LIMIT $3)",
};

} // namespace

PostgresReportStore::PostgresReportStore(const QString& url, int connections)
    : m_pool(url.toUtf8(), connections) {}

PostgresReportStore::~PostgresReportStore() {
    close();
}

bool PostgresReportStore::open(QString* error) {
    return bool(lease(error));
}

// A connection to a database whose tables are set up; none while it cannot
// be reached.
PgConnectionPool::Lease PostgresReportStore::lease(QString* error) const {
    if (m_closed) {
        if (error)
            *error = QStringLiteral("the store is closed");
        return {};
    }
    QByteArray why;
    PgConnectionPool::Lease conn = m_pool.acquire(&why);
    if (!conn) {
        if (error)
            *error = QString::fromUtf8(why);
        return {};
    }
    if (m_schemaReady)
        return conn;
    std::lock_guard lock(m_schemaMutex);
    QString failure;
    if (!m_schemaReady && !PgSchema::ensure(conn.get(), &failure)) {
        qCWarning(lcServer).noquote() << "report database: cannot set up the tables:" << failure;
        if (error)
            *error = failure;
        return {};
    }
    m_schemaReady = true;
    return conn;
}

bool PostgresReportStore::isOpen() const {
    return !m_closed && (m_schemaReady ? m_pool.reachable() : bool(lease(nullptr)));
}

void PostgresReportStore::close() {
    m_closed = true;
    m_pool.close();
}

PostgresReportStore::Outcome PostgresReportStore::store(const Report& report,
                                                        const QString& clientClass) {
    // Nothing to keep: an empty report is answered as kept and leaves no row.
    if (report.records.isEmpty() && report.droppedRecords == 0)
        return {true, 0, 0};
    const PgRecordRows rows(report.records);
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        PgConnectionPool::Lease conn = lease(nullptr);
        if (!conn)
            return {};
        Outcome outcome;
        switch (storeOnce(conn.get(), report, rows, clientClass, &outcome)) {
        case Attempt::Done:
            return outcome;
        case Attempt::Failed:
            return {};
        case Attempt::Retry:
            if (attempt < kAttempts)
                qCDebug(lcServer) << "report store: trying a report again, attempt" << attempt + 1;
        }
    }
    qCWarning(lcServer) << "report store: a report kept conflicting with others; not kept";
    return {};
}

// The whole report is one statement, and so one transaction of its own in
// one round trip: the report's row id and the records' row ids are taken
// first, the records inserted, and the report row written last with the
// counts of what was kept (a statement's parts cannot see each other's rows,
// so it cannot be updated after). Row ids are given in the report's order
// and the rows inserted in the order of their record ids: the ids still
// tell the order of arrival, and reports that share ids lock them in the
// same order. The sequences are looked up once per statement, not per row,
// and the ids taken once per row of the arrays: no estimate then depends
// on a parameter's value, so the server keeps one plan for every report.
const QByteArray& PostgresReportStore::storeStatement() {
    static const QByteArray sql =
        "WITH sequences AS (SELECT pg_get_serial_sequence('reports', 'id')::regclass AS reports, "
        "pg_get_serial_sequence('records', 'id')::regclass AS records), "
        "report AS (SELECT nextval((SELECT reports FROM sequences)) AS id), "
        "rows AS (SELECT * FROM " +
        PgRecordRows::unnestAll(5) + " WITH ORDINALITY AS r(place, " + PgRecordRows::columns() +
        ", position)), "
        "taken AS (SELECT nextval((SELECT records FROM sequences)) AS id FROM rows), "
        "ids AS (SELECT row_number() OVER (ORDER BY id) AS place, id FROM taken), "
        "kept AS (INSERT INTO records(id, report, " +
        PgRecordRows::columns() + ") SELECT ids.id, report.id, " + RecordColumns::names("r.") +
        " FROM rows r JOIN ids USING (place) CROSS JOIN report ORDER BY r.position "
        "ON CONFLICT (record_id) DO NOTHING RETURNING 1) "
        "INSERT INTO reports(id, received, client, stored, duplicates, dropped) "
        "SELECT report.id, $1, $2, kept.n, $4 - kept.n, $3 FROM report, "
        "(SELECT COUNT(*) AS n FROM kept) kept RETURNING stored";
    return sql;
}

PostgresReportStore::Attempt PostgresReportStore::storeOnce(pg_conn* conn, const Report& report,
                                                            const PgRecordRows& rows,
                                                            const QString& clientClass,
                                                            Outcome* outcome) const {
    const QList<QByteArray> params =
        QList<QByteArray>{QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8(),
                          clientClass.isEmpty() ? QByteArray() : clientClass.toUtf8(),
                          QByteArray::number(report.droppedRecords),
                          QByteArray::number(rows.size())} +
        rows.arrays();
    const PgResult result =
        PgResult::execPrepared(conn, "vantoro_store_report", storeStatement().constData(), params,
                               {kText, kText, kInt8, kInt8});
    if (!result.ok() || result.rows() != 1)
        return failed(conn, result);
    outcome->stored = result.bytes(0, 0).toInt();
    outcome->duplicates = rows.size() - outcome->stored;
    outcome->ok = true;
    return Attempt::Done;
}

// A conflict is tried again, and so is a connection lost with the server's
// word for why (it gave the statement up: nothing of the report was kept).
// A connection lost without one may have been lost after the commit; then
// whether it was kept is not known, so the report is refused and the
// uploader sends it again.
PostgresReportStore::Attempt PostgresReportStore::failed(pg_conn* conn,
                                                         const PgResult& result) const {
    const bool lost = PQstatus(conn) != CONNECTION_OK;
    const QByteArray state = result.sqlState();
    if (isConflict(state) || (lost && !state.isEmpty()))
        return Attempt::Retry;
    qCWarning(lcServer).noquote() << "report store: a report was not kept:" << result.message();
    return Attempt::Failed;
}

QList<QVariantList> PostgresReportStore::select(const char* sql, const QVariantList& params,
                                                QString* error) const {
    QString why;
    auto fail = [&](const QString& reason, bool log) {
        if (log)
            qCWarning(lcServer).noquote() << "report store: a query failed:" << reason;
        if (error)
            *error = reason;
        return QList<QVariantList>();
    };
    int count = 0;
    const QByteArray statement = PgPlaceholders::translate(sql, &count);
    if (count != params.size())
        return fail(
            QStringLiteral("the query has %1 parameters, %2 given").arg(count).arg(params.size()),
            true);
    PgConnectionPool::Lease conn = lease(&why);
    if (!conn)
        return fail(QStringLiteral("no database: %1").arg(why), false);
    QList<QByteArray> values;
    QList<unsigned> types;
    for (const QVariant& param : params)
        bindValue(param, &values, &types);
    // Read-only: the database itself refuses a statement that would write.
    if (!PgResult::exec(conn.get(), "BEGIN READ ONLY").ok())
        return fail(QString::fromUtf8(PQerrorMessage(conn.get())).simplified(), true);
    const PgResult result = PgResult::exec(conn.get(), statement.constData(), values, types);
    PgResult::exec(conn.get(), "ROLLBACK");
    if (result.sqlState() == "25006")
        return fail(QStringLiteral("not a read-only query"), false);
    if (!result.ok())
        return fail(result.message(), true);
    QList<QVariantList> rows;
    rows.reserve(result.rows());
    for (int r = 0; r < result.rows(); ++r) {
        QVariantList row;
        row.reserve(result.columns());
        for (int c = 0; c < result.columns(); ++c)
            row << result.value(r, c);
        rows << std::move(row);
    }
    if (error)
        error->clear();
    return rows;
}

// A connection the database closed while it sat in the pool (a restart)
// shows only when used: the statement is then tried once more on a new one.
// An unreachable database is not logged here: the pool says so once.
PgResult PostgresReportStore::sessionStatement(const char* sql,
                                               const QList<QByteArray>& params) const {
    PgResult result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        PgConnectionPool::Lease conn = lease(nullptr);
        if (!conn)
            return result;
        result = PgResult::exec(conn.get(), sql, params);
        if (result.ok())
            return result;
        if (!conn.isBroken())
            break;
    }
    qCWarning(lcServer).noquote() << "report store: a session statement failed:"
                                  << result.message();
    return result;
}

bool PostgresReportStore::beginSession(const QByteArray& digest, qint64 expires, qint64 now) {
    return sessionStatement("WITH over AS (DELETE FROM admin_sessions WHERE expires <= $3) "
                            "INSERT INTO admin_sessions(digest, expires) VALUES($1, $2)",
                            {digest, QByteArray::number(expires), QByteArray::number(now)})
        .ok();
}

ReportStore::SessionState PostgresReportStore::sessionState(const QByteArray& digest,
                                                            qint64 now) const {
    const PgResult result =
        sessionStatement("SELECT 1 FROM admin_sessions WHERE digest = $1 AND expires > $2",
                         {digest, QByteArray::number(now)});
    if (!result.ok())
        return SessionState::Unreachable;
    return result.rows() > 0 ? SessionState::Valid : SessionState::Invalid;
}

bool PostgresReportStore::endSession(const QByteArray& digest) {
    return sessionStatement("DELETE FROM admin_sessions WHERE digest = $1", {digest}).ok();
}

bool PostgresReportStore::probeWrite() {
    PgConnectionPool::Lease conn = lease(nullptr);
    // One row that no session digest can equal, written anew each time and
    // long expired, so that a sign-in's sweep may take it away.
    return conn &&
           PgResult::exec(conn.get(), "INSERT INTO admin_sessions(digest, expires) "
                                      "VALUES('write-probe', 0) ON CONFLICT (digest) DO UPDATE SET "
                                      "expires = 0")
               .ok();
}

ReportStore::Removal PostgresReportStore::removeBefore(double ts, int batch) {
    const QList<QByteArray> params{QByteArray::number(ts, 'g', 17),
                                   QDateTime::fromMSecsSinceEpoch(qint64(ts * 1000), Qt::UTC)
                                       .toString(Qt::ISODateWithMs)
                                       .toUtf8(),
                                   QByteArray::number(batch)};
    Removal removal;
    PgConnectionPool::Lease conn = lease(nullptr);
    if (!conn)
        return removal;
    for (int step = 0; step < 3; ++step) {
        const PgResult result =
            PgResult::exec(conn.get(), kRemovals[step], params, {kFloat8, kText, kInt8});
        if (!result.ok()) {
            qCWarning(lcServer).noquote()
                << "report store: cannot remove old rows:" << result.message();
            return removal;
        }
        const qint64 removed = result.affectedRows();
        (step < 2 ? removal.records : removal.reports) = removed;
        if (removed > 0)
            break;
    }
    removal.ok = true;
    return removal;
}
