#include "copybaseline.h"

#include "server/reports/compactjson.h"
#include "server/reports/recordcolumns.h"
#include "server/store/pgschema.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QVariant>
#include <libpq-fe.h>
#include <memory>

namespace {

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// A value in COPY's text format: \N for NULL, the separators escaped.
void appendField(const QVariant& value, QByteArray* line) {
    if (value.isNull()) {
        *line += "\\N";
        return;
    }
    const QByteArray text = value.typeId() == QMetaType::Double
                                ? QByteArray::number(value.toDouble(), 'g', 17)
                                : value.toString().toUtf8();
    for (const char c : text) {
        switch (c) {
        case '\\':
            *line += "\\\\";
            break;
        case '\t':
            *line += "\\t";
            break;
        case '\n':
            *line += "\\n";
            break;
        case '\r':
            *line += "\\r";
            break;
        default:
            *line += c;
        }
    }
}

// The rows as the store would keep them: the same facts read from the same
// texts, all in one report.
QByteArray rowsOf(const CopyBaseline::RecordText& record, int count, qint64 report) {
    QByteArray rows;
    QByteArray body;
    for (int n = 0; n < count; ++n) {
        const CopyBaseline::Record text = record(n);
        compactJson(text.json, &body);
        rows += QByteArray::number(report);
        const QVariantList values = RecordColumns::values(QString::fromUtf8(text.id), body,
                                                          RecordFacts::fromJson(text.json));
        for (const QVariant& value : values) {
            rows += '\t';
            appendField(value, &rows);
        }
        rows += '\n';
    }
    return rows;
}

// Always false, for a failure's way out.
bool failed(PGconn* conn, const char* what, QString* why) {
    *why = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromUtf8(PQerrorMessage(conn)).simplified());
    return false;
}

bool copy(PGconn* conn, const QByteArray& rows, QString* why) {
    const QByteArray sql = "COPY records(report, " + RecordColumns::names() + ") FROM STDIN";
    const Result start(PQexec(conn, sql.constData()), PQclear);
    if (PQresultStatus(start.get()) != PGRES_COPY_IN)
        return failed(conn, "COPY", why);
    constexpr qsizetype kChunk = 1 << 16;
    for (qsizetype at = 0; at < rows.size(); at += kChunk)
        if (PQputCopyData(conn, rows.constData() + at, int(qMin(kChunk, rows.size() - at))) != 1)
            return failed(conn, "COPY data", why);
    if (PQputCopyEnd(conn, nullptr) != 1)
        return failed(conn, "COPY end", why);
    const Result end(PQgetResult(conn), PQclear);
    return PQresultStatus(end.get()) == PGRES_COMMAND_OK || failed(conn, "COPY", why);
}

} // namespace

double CopyBaseline::recordsPerSecond(const QString& url, const RecordText& record, int count,
                                      QString* why) {
    const Connection conn(PQconnectdb(url.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK && !failed(conn.get(), "connect", why))
        return 0;
    if (!PgSchema::ensure(conn.get(), why))
        return 0;
    // The records' report, which their foreign key checks.
    const QByteArray insert = "INSERT INTO reports(received, stored, dropped) VALUES('" +
                              QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8() +
                              "', " + QByteArray::number(count) + ", 0) RETURNING id";
    const Result report(PQexec(conn.get(), insert.constData()), PQclear);
    if (PQresultStatus(report.get()) != PGRES_TUPLES_OK && !failed(conn.get(), "INSERT", why))
        return 0;
    const QByteArray rows =
        rowsOf(record, count, QByteArray(PQgetvalue(report.get(), 0, 0)).toLongLong());
    QElapsedTimer timer;
    timer.start();
    if (!copy(conn.get(), rows, why))
        return 0;
    const double seconds = timer.nsecsElapsed() / 1e9;
    return seconds > 0 ? count / seconds : 0;
}
