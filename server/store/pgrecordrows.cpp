#include "server/store/pgrecordrows.h"

#include "server/reports/compactjson.h"
#include "server/reports/recordfacts.h"

#include <algorithm>

namespace {

QByteArray textOf(const QString& text) {
    return text.isNull() ? QByteArray() : text.toUtf8();
}

QByteArray numberOf(const std::optional<double>& value) {
    return value ? QByteArray::number(*value, 'g', 17) : QByteArray();
}

// The record's body and facts, in the order of kColumns after record_id.
QList<QByteArray> valuesOf(const ReportStore::Record& record) {
    QByteArray body;
    compactJson(record.json, &body);
    // A database text holds UTF-8 only; a record that is not is kept with
    // its bad bytes replaced rather than refusing the whole report forever.
    if (!QByteArrayView(body).isValidUtf8())
        body = QString::fromUtf8(body).toUtf8();
    const RecordFacts facts = RecordFacts::fromJson(record.json);
    const std::optional<CrashSignature>& crash = facts.crash;
    return {body,
            textOf(facts.kind),
            textOf(facts.eventId),
            textOf(facts.label),
            numberOf(facts.ts),
            textOf(facts.day),
            numberOf(facts.duration),
            crash ? textOf(crash->kind) : QByteArray(),
            crash ? textOf(crash->buildId) : QByteArray(),
            crash ? textOf(crash->frame) : QByteArray(),
            crash ? textOf(crash->groupKey) : QByteArray()};
}

} // namespace

const char* const PgRecordRows::kColumns =
    "record_id, body, kind, event_id, label, ts, day, duration, crash_kind, crash_build, "
    "crash_frame, crash_group";
const char* const PgRecordRows::kUnnest =
    "unnest($2::bigint[], $3::text[], $4::text[], $5::text[], $6::text[], $7::text[], "
    "$8::float8[], $9::text[], $10::float8[], $11::text[], $12::text[], $13::text[], "
    "$14::text[])";

PgRecordRows::PgRecordRows(const QList<ReportStore::Record>& records)
    : m_size(int(records.size())) {
    m_rows.reserve(records.size());
    for (int i = 0; i < records.size(); ++i)
        m_rows.append({i, records[i].id, valuesOf(records[i])});
    // Records without an id take no lock on one; they go last.
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
        if (a.recordId.isNull() || b.recordId.isNull())
            return !a.recordId.isNull() && b.recordId.isNull();
        return a.recordId < b.recordId;
    });
}

QList<QByteArray> PgRecordRows::arrays(const QList<qint64>& ids) const {
    QList<QList<QByteArray>> columns(2 + m_rows.value(0).values.size());
    for (const Row& row : m_rows) {
        columns[0] << QByteArray::number(ids.value(row.position));
        columns[1] << textOf(row.recordId);
        for (int c = 0; c < row.values.size(); ++c)
            columns[2 + c] << row.values[c];
    }
    QList<QByteArray> arrays;
    for (const QList<QByteArray>& column : columns)
        arrays << arrayOf(column);
    return arrays;
}

QByteArray PgRecordRows::arrayOf(const QList<QByteArray>& values) {
    QByteArray array = "{";
    for (const QByteArray& value : values) {
        if (array.size() > 1)
            array += ',';
        if (value.isNull()) {
            array += "NULL";
            continue;
        }
        array += '"';
        for (const char c : value) {
            if (c == '"' || c == '\\')
                array += '\\';
            array += c;
        }
        array += '"';
    }
    return array + '}';
}
