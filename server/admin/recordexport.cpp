#include "server/admin/recordexport.h"

#include "server/reports/compactjson.h"
#include "server/serverlog.h"
#include "server/store/reportstore.h"

#include <cstdio>

namespace {

// Pages in the order of (ts, id), which the index on ts gives on both
// stores (SQLite keeps the row id in it; PostgreSQL sorts only within equal
// times), so that each page reads its own rows and not the whole period
// again. The ts range is the period's days as `day` counts them (the UTC
// day of the whole seconds); `day` is compared too, so that the export
// holds exactly what the figures count. LEFT JOIN: a record outlives its
// report row only between the steps of a removal, and is exported all the
// same.
const char* const kPage = "SELECT c.id, c.ts, c.body, r.received, r.client FROM records c "
                          "LEFT JOIN reports r ON r.id = c.report "
                          "WHERE c.ts >= ? AND c.ts < ? AND c.day >= ? AND c.day <= ? "
                          "AND (c.ts > ? OR (c.ts = ? AND c.id > ?)) ORDER BY c.ts, c.id LIMIT ?";

double startOf(const QDate& day) {
    return double(day.startOfDay(Qt::UTC).toSecsSinceEpoch());
}

void appendJsonString(std::string& out, const QString& text) {
    if (text.isNull()) {
        out += "null";
        return;
    }
    out += '"';
    for (const char c : text.toStdString()) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

// The stores keep a record compacted, and a string in it cannot hold a raw
// line break; a row written some other way is put on one line here all the
// same, as a break would split the record in two for the reader.
QByteArray oneLine(const QByteArray& body) {
    if (!body.contains('\n') && !body.contains('\r'))
        return body;
    QByteArray compact;
    compactJson(body, &compact);
    return compact.replace('\n', "\\n").replace('\r', "\\r");
}

QString nullableText(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

} // namespace

RecordExport::RecordExport(const ReportStore& store, const DashboardPeriod& period)
    : m_store(store), m_period(period), m_afterTs(startOf(period.from)),
      m_endTs(startOf(period.to.addDays(1))) {
    m_clock.start();
}

// Dropped before its end: the client went away, or the server stopped.
RecordExport::~RecordExport() {
    if (m_pulled && !m_logged)
        logEnd(QStringLiteral("stopped unfinished (the client went away or the server stopped)"),
               false);
}

bool RecordExport::start(QString* error) {
    return readPage(error);
}

HttpResponse::Pull RecordExport::next(std::string& piece) {
    m_pulled = true;
    QString error;
    if (!m_havePage && !readPage(&error)) {
        logEnd(QStringLiteral("was cut, the store could not be read: %1").arg(error), false);
        return HttpResponse::Pull::Failed;
    }
    m_havePage = false;
    piece = std::move(m_page);
    m_page = {};
    m_bytes += qint64(piece.size());
    if (!m_lastPage)
        return HttpResponse::Pull::More;
    logEnd(QStringLiteral("is complete"), true);
    return HttpResponse::Pull::End;
}

bool RecordExport::readPage(QString* error) {
    const QList<QVariantList> rows =
        m_store.select(kPage,
                       {m_afterTs, m_endTs, m_period.fromText(), m_period.toText(), m_afterTs,
                        m_afterTs, m_afterId, kPageRecords},
                       error);
    if (!error->isEmpty())
        return false;
    m_page.clear();
    for (const QVariantList& row : rows)
        appendLine(row);
    if (!rows.isEmpty()) {
        m_afterId = rows.last().value(0).toLongLong();
        m_afterTs = rows.last().value(1).toDouble();
    }
    m_records += rows.size();
    m_lastPage = rows.size() < kPageRecords;
    m_havePage = true;
    return true;
}

void RecordExport::appendLine(const QVariantList& row) {
    m_page += "{\"received\":";
    appendJsonString(m_page, nullableText(row.value(3)));
    m_page += ",\"client\":";
    appendJsonString(m_page, nullableText(row.value(4)));
    m_page += ",\"record\":";
    const QByteArray body = oneLine(row.value(2).toString().toUtf8());
    m_page.append(body.constData(), std::size_t(body.size()));
    m_page += "}\n";
}

void RecordExport::logEnd(const QString& how, bool complete) {
    m_logged = true;
    const QString line = QStringLiteral("admin: the records export of %1 to %2 %3: %4 records, "
                                        "%5 bytes, %6 ms")
                             .arg(m_period.fromText(), m_period.toText(), how)
                             .arg(m_records)
                             .arg(m_bytes)
                             .arg(m_clock.elapsed());
    if (complete)
        qCInfo(lcServer).noquote() << line;
    else
        qCWarning(lcServer).noquote() << line;
}
