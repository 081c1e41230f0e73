#include "server/store/pgschema.h"

#include "server/reports/recordcolumns.h"
#include "server/serverlog.h"
#include "server/store/pgresult.h"

#include <QByteArray>

namespace {

// Any fixed number that no other user of the database takes as its lock:
// "vantoro" and the schema's table in ASCII.
const char* const kLock = "SELECT pg_advisory_xact_lock(6084222911290011)";

QByteArray recordsTable() {
    QByteArray sql = "CREATE TABLE IF NOT EXISTS records("
                     "id BIGSERIAL PRIMARY KEY, report BIGINT NOT NULL REFERENCES reports(id)";
    for (const RecordColumns::Column& column : RecordColumns::all())
        if (column.since == 1)
            sql += ", " + RecordColumns::definition(column, RecordColumns::Dialect::Postgres);
    return sql + ')';
}

// A record column added after the first version is a step of its own;
// records kept before have it NULL.
QList<PgSchema::Step> columnSteps() {
    QList<PgSchema::Step> steps;
    for (const RecordColumns::Column& column : RecordColumns::all()) {
        if (column.since == 1)
            continue;
        if (steps.isEmpty() || steps.constLast().version != column.since)
            steps.append(PgSchema::Step{column.since, {}});
        steps.last().statements << "ALTER TABLE records ADD COLUMN IF NOT EXISTS " +
                                       RecordColumns::definition(column,
                                                                 RecordColumns::Dialect::Postgres);
    }
    return steps;
}

} // namespace

const QList<PgSchema::Step>& PgSchema::steps() {
    static const QList<Step> all =
        QList<Step>{
            {1,
             {
                 "CREATE TABLE IF NOT EXISTS reports("
                 "id BIGSERIAL PRIMARY KEY, received TEXT NOT NULL, client TEXT, "
                 "stored INTEGER NOT NULL, duplicates INTEGER, dropped BIGINT NOT NULL)",
                 recordsTable(),
                 // As in the SQLite store: the figures read only this index, a crash
                 // group's texts are found by key, newest first.
                 "CREATE INDEX IF NOT EXISTS records_figures ON records(kind, day, event_id, "
                 "label, "
                 "duration)",
                 "CREATE INDEX IF NOT EXISTS records_crash_group ON records(crash_group, ts) "
                 "WHERE crash_group IS NOT NULL",
             }},
            // The operator's sessions, by a digest of each id.
            {2,
             {
                 "CREATE TABLE IF NOT EXISTS admin_sessions("
                 "digest TEXT PRIMARY KEY, expires BIGINT NOT NULL)",
             }},
            // The figures' index without the labels, a second copy of each
            // (as in the SQLite store).
            {3,
             {
                 "DROP INDEX IF EXISTS records_figures",
                 "CREATE INDEX IF NOT EXISTS records_by_day ON records(kind, day, event_id, "
                 "duration)",
             }},
            // Old rows are found by ts, and a report's records by their
            // report (also what taking a report row away checks). A record
            // column added later takes version 5 or above.
            {4,
             {
                 "CREATE INDEX IF NOT EXISTS records_by_ts ON records(ts)",
                 "CREATE INDEX IF NOT EXISTS records_by_report ON records(report)",
             }},
        } +
        columnSteps();
    return all;
}

int PgSchema::version() {
    return steps().isEmpty() ? 0 : steps().constLast().version;
}

namespace {

bool run(pg_conn* conn, const char* sql, QString* error) {
    const PgResult result = PgResult::exec(conn, sql);
    if (result.ok())
        return true;
    *error = result.message();
    return false;
}

int currentVersion(pg_conn* conn, QString* error) {
    const PgResult result =
        PgResult::exec(conn, "SELECT COALESCE(MAX(version), 0) FROM vantoro_schema");
    if (!result.ok() || result.rows() != 1) {
        *error = result.message();
        return -1;
    }
    return result.bytes(0, 0).toInt();
}

bool apply(pg_conn* conn, const QList<PgSchema::Step>& steps, QString* error) {
    if (!run(conn, kLock, error) ||
        !run(conn,
             "CREATE TABLE IF NOT EXISTS vantoro_schema("
             "version INTEGER PRIMARY KEY, applied TIMESTAMPTZ NOT NULL DEFAULT now())",
             error))
        return false;
    const int version = currentVersion(conn, error);
    if (version < 0)
        return false;
    for (const PgSchema::Step& step : steps) {
        if (step.version <= version)
            continue;
        qCInfo(lcServer) << "report database: schema version" << step.version
                         << (version == 0 ? "(creating the tables)" : "(upgrading)");
        for (const QByteArray& statement : step.statements)
            if (!run(conn, statement.constData(), error))
                return false;
        const QByteArray mark =
            "INSERT INTO vantoro_schema(version) VALUES(" + QByteArray::number(step.version) + ")";
        if (!run(conn, mark.constData(), error))
            return false;
    }
    return true;
}

} // namespace

bool PgSchema::ensure(pg_conn* conn, QString* error) {
    return ensure(conn, steps(), error);
}

bool PgSchema::ensure(pg_conn* conn, const QList<Step>& steps, QString* error) {
    if (!run(conn, "BEGIN", error))
        return false;
    if (apply(conn, steps, error) && run(conn, "COMMIT", error))
        return true;
    QString ignored;
    run(conn, "ROLLBACK", &ignored);
    return false;
}
