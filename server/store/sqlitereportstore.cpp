#include "server/store/sqlitereportstore.h"

#include "server/reports/compactjson.h"
#include "server/reports/recordcolumns.h"
#include "server/serverlog.h"

#include <QDateTime>
#include <QVariant>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// Finalizes a prepared statement on every way out of a scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }
    explicit operator bool() const { return m_stmt != nullptr; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

void bindText(sqlite3_stmt* stmt, int index, QByteArrayView utf8) {
    sqlite3_bind_text(stmt, index, utf8.data(), int(utf8.size()), SQLITE_TRANSIENT);
}

// Counts instead of bodies; `duplicates` is null for reports kept before it
// was counted.
QByteArray reportsTable(const char* name) {
    return QByteArray("CREATE TABLE IF NOT EXISTS ") + name +
           "(id INTEGER PRIMARY KEY, received TEXT NOT NULL, client TEXT, "
           "stored INTEGER NOT NULL, duplicates INTEGER, dropped INTEGER NOT NULL)";
}

QByteArray recordsTable() {
    QByteArray sql = "CREATE TABLE IF NOT EXISTS records("
                     "id INTEGER PRIMARY KEY, report INTEGER NOT NULL REFERENCES reports(id)";
    for (const RecordColumns::Column& column : RecordColumns::all())
        sql += ", " + RecordColumns::definition(column, RecordColumns::Dialect::Sqlite);
    return sql + ')';
}

QByteArray insertRecord() {
    return "INSERT OR IGNORE INTO records(report, " + RecordColumns::names() + ") VALUES(?" +
           QByteArray(", ?").repeated(RecordColumns::all().size()) + ')';
}

QByteArray updateFacts() {
    QByteArray sql = "UPDATE records SET ";
    for (const RecordColumns::Column& column : RecordColumns::all())
        if (column.fact)
            sql += QByteArray(column.name) + " = ?, ";
    sql.chop(2);
    return sql + " WHERE id = ?";
}

// The record columns' version, kept in the file: a file of an earlier one
// gains the new columns and has its facts read again from the bodies once.
const int kFactsVersion = RecordColumns::version();

// The figures' queries select by kind and day and read the event and the
// duration, which this index holds too. Labels (long, and only read for
// share events) stay in the rows: an index of them was a second copy of
// every label. A crash group's texts are found by its key, newest first;
// only errors carry a key, so that index stays small.
// Removing old rows finds them by ts and finds a report's records by
// their report, in batches that each read only what they take away.
const char* const kFactIndexes[] = {
    "DROP INDEX IF EXISTS records_figures",
    "CREATE INDEX IF NOT EXISTS records_by_day ON records(kind, day, event_id, duration)",
    "CREATE INDEX IF NOT EXISTS records_crash_group ON records(crash_group, ts) "
    "WHERE crash_group IS NOT NULL",
    "CREATE INDEX IF NOT EXISTS records_by_ts ON records(ts)",
    "CREATE INDEX IF NOT EXISTS records_by_report ON records(report)",
};

// The three steps of a removal, in order; ?1 is the cutoff's ts, ?2 its
// received text, ?3 the batch. `received` is ISO 8601 in UTC with
// milliseconds, which sorts as the times do.
const char* const kRemovals[] = {
    "DELETE FROM records WHERE id IN (SELECT id FROM records WHERE ts < ?1 LIMIT ?3)",
    "DELETE FROM records WHERE id IN (SELECT c.id FROM records c JOIN reports r "
    "ON r.id = c.report WHERE c.ts IS NULL AND r.received < ?2 LIMIT ?3)",
    "DELETE FROM reports WHERE id IN (SELECT r.id FROM reports r WHERE r.received < ?2 "
    "AND NOT EXISTS (SELECT 1 FROM records c WHERE c.report = r.id) LIMIT ?3)",
};

// The operator's sessions: a digest of each id and when it ends. A file
// from before sessions were kept gains the table when opened.
const char* const kSessionsTable = "CREATE TABLE IF NOT EXISTS admin_sessions("
                                   "digest TEXT PRIMARY KEY, expires INTEGER NOT NULL)";

// Rows whose facts are read again at a time, so that an old file of any size
// is upgraded in bounded memory.
constexpr int kUpgradeBatch = 1000;

QVariant columnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, column);
    case SQLITE_NULL:
        return {};
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                                 sqlite3_column_bytes(stmt, column));
    }
}

bool bindValue(sqlite3_stmt* stmt, int index, const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return sqlite3_bind_null(stmt, index) == SQLITE_OK;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(stmt, index, value.toLongLong()) == SQLITE_OK;
    case QMetaType::Double:
        return sqlite3_bind_double(stmt, index, value.toDouble()) == SQLITE_OK;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    default:
        if (value.isNull())
            return sqlite3_bind_null(stmt, index) == SQLITE_OK;
        const QByteArray text = value.toString().toUtf8();
        return sqlite3_bind_text(stmt, index, text.constData(), int(text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
}

// Binds the facts' columns to the parameters from 1 on, in the table's order.
bool bindFacts(sqlite3_stmt* stmt, const RecordFacts& facts) {
    int index = 0;
    for (const RecordColumns::Column& column : RecordColumns::all())
        if (column.fact && !bindValue(stmt, ++index, column.fact(facts)))
            return false;
    return true;
}

} // namespace

SqliteReportStore::~SqliteReportStore() {
    close();
}

bool SqliteReportStore::open(const QString& path, QString* error) {
    std::lock_guard lock(m_mutex);
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    // A new file is its user's alone; SQLite's journal files take its mode.
    const QByteArray file = path.toUtf8();
    if (const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); fd >= 0)
        ::close(fd);
    const int rc = sqlite3_open_v2(
        path.toUtf8().constData(), &m_db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // One transaction: a new database is then written and synced to disk
    // once, not once per table, which the application's start waits for.
    bool upgraded = false;
    bool ok = exec("BEGIN IMMEDIATE");
    if (ok) {
        upgraded = hasReportBodies();
        ok = (upgraded ? upgradeSchema() : createSchema()) && exec(kSessionsTable) && keepFacts() &&
             exec("COMMIT");
        if (!ok)
            exec("ROLLBACK");
    }
    // The bodies' pages are free but still in the file until it is rebuilt.
    if (ok && upgraded && !exec("VACUUM"))
        qCWarning(lcServer) << "report store: the upgraded file keeps its old size";
    if (!ok) {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    return ok;
}

bool SqliteReportStore::createSchema() {
    return exec(reportsTable("reports").constData()) && exec(recordsTable().constData());
}

bool SqliteReportStore::hasReportBodies() {
    Statement column(m_db, "SELECT 1 FROM pragma_table_info('reports') WHERE name = 'body'");
    return column && sqlite3_step(column.get()) == SQLITE_ROW;
}

// Reports kept whole before become counts: the records stay as they are,
// each report's record count is what it added, and its drop count is read
// from its header once.
bool SqliteReportStore::upgradeSchema() {
    qCInfo(lcServer) << "report store: keeping counts instead of report bodies";
    return exec("DROP TABLE IF EXISTS reports_kept") && exec(reportsTable("reports_kept")) &&
           exec("INSERT INTO reports_kept(id, received, stored, dropped) "
                "SELECT r.id, r.received, COALESCE(c.n, 0), "
                "CASE WHEN json_valid(r.body) THEN MAX(0, CAST(COALESCE(json_extract(r.body, "
                "'$.header.dropped_records'), 0) AS INTEGER)) ELSE 0 END "
                "FROM reports r LEFT JOIN "
                "(SELECT report, COUNT(*) AS n FROM records GROUP BY report) c "
                "ON c.report = r.id") &&
           exec("DROP TABLE reports") && exec("ALTER TABLE reports_kept RENAME TO reports") &&
           exec(recordsTable().constData());
}

// A file from before the facts were kept gains their columns; one whose
// facts were read by other rules has them read again.
bool SqliteReportStore::keepFacts() {
    for (const RecordColumns::Column& column : RecordColumns::all()) {
        if (!column.fact)
            continue;
        const QByteArray has =
            QByteArray("SELECT 1 FROM pragma_table_info('records') WHERE name = '") + column.name +
            "'";
        Statement exists(m_db, has.constData());
        if (!exists)
            return false;
        if (sqlite3_step(exists.get()) == SQLITE_ROW)
            continue;
        const QByteArray add = QByteArray("ALTER TABLE records ADD COLUMN ") +
                               RecordColumns::definition(column, RecordColumns::Dialect::Sqlite);
        if (!exec(add.constData()))
            return false;
    }
    Statement version(m_db, "PRAGMA user_version");
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW)
        return false;
    if (sqlite3_column_int(version.get(), 0) < kFactsVersion) {
        const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(kFactsVersion);
        if (!readFactsAgain() || !exec(setVersion.constData()))
            return false;
    }
    for (const char* index : kFactIndexes)
        if (!exec(index))
            return false;
    return true;
}

bool SqliteReportStore::readFactsAgain() {
    Statement batch(m_db, "SELECT id, body FROM records WHERE id > ? ORDER BY id LIMIT ?");
    Statement update(m_db, updateFacts().constData());
    if (!batch || !update)
        return false;
    qint64 last = 0;
    qint64 read = 0;
    for (;;) {
        QList<std::pair<qint64, QByteArray>> rows;
        sqlite3_reset(batch.get());
        sqlite3_bind_int64(batch.get(), 1, last);
        sqlite3_bind_int(batch.get(), 2, kUpgradeBatch);
        while (sqlite3_step(batch.get()) == SQLITE_ROW)
            rows.append({sqlite3_column_int64(batch.get(), 0),
                         QByteArray(static_cast<const char*>(sqlite3_column_blob(batch.get(), 1)),
                                    sqlite3_column_bytes(batch.get(), 1))});
        if (rows.isEmpty())
            break;
        for (const auto& [id, body] : rows) {
            sqlite3_reset(update.get());
            if (!bindFacts(update.get(), RecordFacts::fromJson(body)) ||
                sqlite3_bind_int64(update.get(), int(RecordColumns::all().size()) - 1, id) !=
                    SQLITE_OK)
                return false;
            if (sqlite3_step(update.get()) != SQLITE_DONE) {
                qCWarning(lcServer)
                    << "report store: cannot keep a record's facts:" << sqlite3_errmsg(m_db);
                return false;
            }
        }
        last = rows.last().first;
        read += rows.size();
    }
    if (read > 0)
        qCInfo(lcServer) << "report store: read the facts of" << read << "kept records";
    return true;
}

bool SqliteReportStore::isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_db != nullptr;
}

void SqliteReportStore::close() {
    std::lock_guard lock(m_mutex);
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool SqliteReportStore::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    qCWarning(lcServer) << "report store:" << sql << "failed:" << message;
    sqlite3_free(message);
    return false;
}

SqliteReportStore::Outcome SqliteReportStore::store(const Report& report,
                                                    const QString& clientClass) {
    std::lock_guard lock(m_mutex);
    Outcome outcome;
    if (!m_db)
        return outcome;
    // Nothing to keep: an empty report is answered as kept and leaves no row.
    if (report.records.isEmpty() && report.droppedRecords == 0) {
        outcome.ok = true;
        return outcome;
    }
    if (!exec("BEGIN IMMEDIATE"))
        return outcome;
    const qint64 reportId = insertReport(report, clientClass);
    if (reportId < 0 || !insertRecords(reportId, report, &outcome)) {
        exec("ROLLBACK");
        return {};
    }
    Statement counts(m_db, "UPDATE reports SET stored = ?, duplicates = ? WHERE id = ?");
    if (!counts) {
        exec("ROLLBACK");
        return {};
    }
    sqlite3_bind_int(counts.get(), 1, outcome.stored);
    sqlite3_bind_int(counts.get(), 2, outcome.duplicates);
    sqlite3_bind_int64(counts.get(), 3, reportId);
    if (sqlite3_step(counts.get()) != SQLITE_DONE || !exec("COMMIT")) {
        exec("ROLLBACK");
        return {};
    }
    outcome.ok = true;
    return outcome;
}

// The report's row, counted once its records are in; -1 when it cannot be
// written.
qint64 SqliteReportStore::insertReport(const Report& report, const QString& clientClass) {
    Statement insert(m_db, "INSERT INTO reports(received, client, stored, duplicates, dropped) "
                           "VALUES(?, ?, 0, 0, ?)");
    if (!insert)
        return -1;
    bindText(insert.get(), 1, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8());
    if (clientClass.isEmpty())
        sqlite3_bind_null(insert.get(), 2);
    else
        bindText(insert.get(), 2, clientClass.toUtf8());
    sqlite3_bind_int64(insert.get(), 3, report.droppedRecords);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) {
        qCWarning(lcServer) << "report store: cannot insert a report:" << sqlite3_errmsg(m_db);
        return -1;
    }
    return sqlite3_last_insert_rowid(m_db);
}

// A record whose id is already kept is dropped without an error, so a
// retried upload neither fails nor counts twice.
bool SqliteReportStore::insertRecords(qint64 reportId, const Report& report, Outcome* outcome) {
    static const QByteArray sql = insertRecord();
    Statement insert(m_db, sql.constData());
    if (!insert)
        return false;
    QByteArray body;
    for (const Record& record : report.records) {
        sqlite3_reset(insert.get());
        sqlite3_clear_bindings(insert.get());
        sqlite3_bind_int64(insert.get(), 1, reportId);
        compactJson(record.json, &body);
        const QVariantList values = RecordColumns::values(record.id, body, record.factsOrRead());
        for (int i = 0; i < values.size(); ++i)
            if (!bindValue(insert.get(), i + 2, values[i]))
                return false;
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            qCWarning(lcServer) << "report store: cannot insert a record:" << sqlite3_errmsg(m_db);
            return false;
        }
        if (sqlite3_changes(m_db) > 0)
            ++outcome->stored;
        else
            ++outcome->duplicates;
    }
    return true;
}

QList<QVariantList> SqliteReportStore::select(const char* sql, const QVariantList& params,
                                              QString* error) const {
    std::lock_guard lock(m_mutex);
    QList<QVariantList> rows;
    auto fail = [&](const char* what) {
        const QString why = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                         QString::fromUtf8(sqlite3_errmsg(m_db)));
        qCWarning(lcServer).noquote() << "report store: a query failed:" << why;
        if (error)
            *error = why;
        return QList<QVariantList>();
    };
    if (!m_db) {
        if (error)
            *error = QStringLiteral("no database");
        return rows;
    }
    Statement query(m_db, sql);
    if (!query)
        return fail("cannot prepare");
    // Read-only: a statement that would write is refused, not run.
    if (!sqlite3_stmt_readonly(query.get())) {
        if (error)
            *error = QStringLiteral("not a read-only query");
        return rows;
    }
    for (int i = 0; i < params.size(); ++i)
        if (!bindValue(query.get(), i + 1, params[i]))
            return fail("cannot bind");
    const int columns = sqlite3_column_count(query.get());
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(query.get())) == SQLITE_ROW) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << columnValue(query.get(), c);
        rows << std::move(row);
    }
    if (rc != SQLITE_DONE)
        return fail("cannot read");
    if (error)
        error->clear();
    return rows;
}

bool SqliteReportStore::beginSession(const QByteArray& digest, qint64 expires, qint64 now) {
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    Statement over(m_db, "DELETE FROM admin_sessions WHERE expires <= ?");
    Statement insert(m_db, "INSERT INTO admin_sessions(digest, expires) VALUES(?, ?)");
    if (!over || !insert)
        return false;
    sqlite3_bind_int64(over.get(), 1, now);
    if (sqlite3_step(over.get()) != SQLITE_DONE)
        qCWarning(lcServer) << "report store: cannot drop expired sessions:"
                            << sqlite3_errmsg(m_db);
    bindText(insert.get(), 1, digest);
    sqlite3_bind_int64(insert.get(), 2, expires);
    if (sqlite3_step(insert.get()) == SQLITE_DONE)
        return true;
    qCWarning(lcServer) << "report store: cannot keep a session:" << sqlite3_errmsg(m_db);
    return false;
}

ReportStore::SessionState SqliteReportStore::sessionState(const QByteArray& digest,
                                                          qint64 now) const {
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return SessionState::Unreachable;
    Statement query(m_db, "SELECT 1 FROM admin_sessions WHERE digest = ? AND expires > ?");
    if (!query)
        return SessionState::Unreachable;
    bindText(query.get(), 1, digest);
    sqlite3_bind_int64(query.get(), 2, now);
    switch (sqlite3_step(query.get())) {
    case SQLITE_ROW:
        return SessionState::Valid;
    case SQLITE_DONE:
        return SessionState::Invalid;
    default:
        qCWarning(lcServer) << "report store: cannot read a session:" << sqlite3_errmsg(m_db);
        return SessionState::Unreachable;
    }
}

bool SqliteReportStore::endSession(const QByteArray& digest) {
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    Statement remove(m_db, "DELETE FROM admin_sessions WHERE digest = ?");
    if (!remove)
        return false;
    bindText(remove.get(), 1, digest);
    return sqlite3_step(remove.get()) == SQLITE_DONE;
}

bool SqliteReportStore::probeWrite() {
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    // A lock held by another process is a failure now, not a wait.
    sqlite3_busy_timeout(m_db, 0);
    const bool written =
        sqlite3_exec(m_db,
                     "BEGIN IMMEDIATE; CREATE TABLE IF NOT EXISTS write_probe(at INTEGER); "
                     "INSERT INTO write_probe VALUES(1); DELETE FROM write_probe; COMMIT",
                     nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!written)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    return written;
}

ReportStore::Removal SqliteReportStore::removeBefore(double ts, int batch) {
    const QByteArray received = QDateTime::fromMSecsSinceEpoch(qint64(ts * 1000), Qt::UTC)
                                    .toString(Qt::ISODateWithMs)
                                    .toUtf8();
    // Held for one batch only: reports wait at most that long.
    std::lock_guard lock(m_mutex);
    Removal removal;
    if (!m_db)
        return removal;
    for (int step = 0; step < 3; ++step) {
        const qint64 removed = removeRows(kRemovals[step], ts, received, batch);
        if (removed < 0)
            return removal;
        (step < 2 ? removal.records : removal.reports) = removed;
        if (removed > 0)
            break;
    }
    removal.ok = true;
    return removal;
}

qint64 SqliteReportStore::removeRows(const char* sql, double ts, const QByteArray& received,
                                     int batch) {
    Statement remove(m_db, sql);
    if (!remove)
        return -1;
    sqlite3_bind_double(remove.get(), 1, ts);
    bindText(remove.get(), 2, received);
    sqlite3_bind_int(remove.get(), 3, batch);
    if (sqlite3_step(remove.get()) != SQLITE_DONE) {
        qCWarning(lcServer) << "report store: cannot remove old rows:" << sqlite3_errmsg(m_db);
        return -1;
    }
    return sqlite3_changes(m_db);
}
