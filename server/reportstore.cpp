#include "server/reportstore.h"

#include "server/serverlog.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sqlite3.h>

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

void bindText(sqlite3_stmt* stmt, int index, const QByteArray& utf8) {
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

ReportStore::~ReportStore() {
    close();
}

bool ReportStore::open(const QString& path, QString* error) {
    std::lock_guard lock(m_mutex);
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
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
    sqlite3_busy_timeout(m_db, 2000);
    // One transaction: a new database is then written and synced to disk
    // once, not once per table, which the application's start waits for.
    const bool ok = exec("BEGIN") &&
                    exec("CREATE TABLE IF NOT EXISTS reports("
                         "id INTEGER PRIMARY KEY, received TEXT NOT NULL, body TEXT NOT NULL)") &&
                    exec("CREATE TABLE IF NOT EXISTS records("
                         "id INTEGER PRIMARY KEY, report INTEGER NOT NULL REFERENCES reports(id), "
                         "record_id TEXT UNIQUE, body TEXT NOT NULL)") &&
                    exec("COMMIT");
    if (!ok) {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    return ok;
}

bool ReportStore::isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_db != nullptr;
}

void ReportStore::close() {
    std::lock_guard lock(m_mutex);
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool ReportStore::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    qCWarning(lcServer) << "report store:" << sql << "failed:" << message;
    sqlite3_free(message);
    return false;
}

std::optional<QList<ReportStore::Record>>
ReportStore::parseReport(const QByteArray& json, QString* error, qint64* droppedRecords) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON: %1 at offset %2")
                        .arg(parseError.errorString())
                        .arg(parseError.offset));
    if (!doc.isObject())
        return fail(QStringLiteral("a report is a JSON object"));
    QList<Record> records;
    const QJsonObject report = doc.object();
    if (droppedRecords)
        *droppedRecords = qint64(report.value(QLatin1String("header"))
                                     .toObject()
                                     .value(QLatin1String("dropped_records"))
                                     .toDouble());
    for (auto it = report.begin(); it != report.end(); ++it) {
        if (!it.value().isArray())
            continue;
        for (const QJsonValue element : it.value().toArray()) {
            if (!element.isObject())
                continue;
            const QJsonObject object = element.toObject();
            Record record;
            if (object.contains(QLatin1String("id"))) {
                const QJsonValue id = object.value(QLatin1String("id"));
                if (!id.isString() || id.toString().isEmpty())
                    return fail(QStringLiteral("a record id in \"%1\" is not a non-empty string")
                                    .arg(it.key()));
                record.id = id.toString();
            }
            record.json = QJsonDocument(object).toJson(QJsonDocument::Compact);
            records.append(std::move(record));
        }
    }
    return records;
}

ReportStore::Outcome ReportStore::store(const QByteArray& body, const QList<Record>& records) {
    std::lock_guard lock(m_mutex);
    Outcome outcome;
    if (!m_db || !exec("BEGIN IMMEDIATE"))
        return outcome;
    auto rollback = [this] { exec("ROLLBACK"); };

    Statement report(m_db, "INSERT INTO reports(received, body) VALUES(?, ?)");
    if (!report) {
        rollback();
        return outcome;
    }
    bindText(report.get(), 1, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8());
    bindText(report.get(), 2, body);
    if (sqlite3_step(report.get()) != SQLITE_DONE) {
        qCWarning(lcServer) << "report store: cannot insert a report:" << sqlite3_errmsg(m_db);
        rollback();
        return outcome;
    }
    const sqlite3_int64 reportId = sqlite3_last_insert_rowid(m_db);

    // A record whose id is already kept is dropped without an error, so a
    // retried upload neither fails nor counts twice.
    Statement insert(m_db,
                     "INSERT OR IGNORE INTO records(report, record_id, body) VALUES(?, ?, ?)");
    if (!insert) {
        rollback();
        return outcome;
    }
    for (const Record& record : records) {
        sqlite3_reset(insert.get());
        sqlite3_clear_bindings(insert.get());
        sqlite3_bind_int64(insert.get(), 1, reportId);
        if (record.id.isNull())
            sqlite3_bind_null(insert.get(), 2);
        else
            bindText(insert.get(), 2, record.id.toUtf8());
        bindText(insert.get(), 3, record.json);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            qCWarning(lcServer) << "report store: cannot insert a record:" << sqlite3_errmsg(m_db);
            rollback();
            return outcome;
        }
        if (sqlite3_changes(m_db) > 0)
            ++outcome.stored;
        else
            ++outcome.duplicates;
    }
    if (!exec("COMMIT")) {
        rollback();
        return {};
    }
    outcome.ok = true;
    return outcome;
}

int ReportStore::reportCount() const {
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return 0;
    Statement count(m_db, "SELECT COUNT(*) FROM reports");
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW)
        return 0;
    return sqlite3_column_int(count.get(), 0);
}

qint64 ReportStore::droppedRecords() const {
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return 0;
    Statement sum(m_db, "SELECT TOTAL(json_extract(body, '$.header.dropped_records')) "
                        "FROM reports WHERE json_valid(body)");
    if (!sum || sqlite3_step(sum.get()) != SQLITE_ROW)
        return 0;
    return sqlite3_column_int64(sum.get(), 0);
}

QList<QByteArray> ReportStore::recordBodies() const {
    std::lock_guard lock(m_mutex);
    QList<QByteArray> bodies;
    if (!m_db)
        return bodies;
    Statement select(m_db, "SELECT body FROM records ORDER BY id");
    while (select && sqlite3_step(select.get()) == SQLITE_ROW)
        bodies << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0)),
                             sqlite3_column_bytes(select.get(), 0));
    return bodies;
}

QStringList ReportStore::recordIds() const {
    std::lock_guard lock(m_mutex);
    QStringList ids;
    if (!m_db)
        return ids;
    Statement select(m_db, "SELECT record_id FROM records WHERE record_id IS NOT NULL ORDER BY id");
    while (select && sqlite3_step(select.get()) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0));
        ids << QString::fromUtf8(text, sqlite3_column_bytes(select.get(), 0));
    }
    return ids;
}
