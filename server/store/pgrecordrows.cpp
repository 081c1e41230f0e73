#include "server/store/pgrecordrows.h"

#include "server/reports/compactjson.h"
#include "server/reports/recordcolumns.h"

#include <QLocale>
#include <algorithm>

namespace {

// A value of RecordColumns::values() as PostgreSQL's text form; a null one
// for NULL.
QByteArray textOf(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Double:
        // The fewest digits that read back as the same double: exact, and
        // much cheaper to write than a fixed 17.
        return QByteArray::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QByteArray:
        return value.toByteArray();
    default:
        return value.toString().toUtf8();
    }
}

// The record's columns after record_id, in the table's order.
QList<QByteArray> valuesOf(const ReportStore::Record& record) {
    QByteArray body;
    compactJson(record.json, &body);
    // A database text holds UTF-8 only; a record that is not is kept with
    // its bad bytes replaced rather than refusing the whole report forever.
    if (!QByteArrayView(body).isValidUtf8())
        body = QString::fromUtf8(body).toUtf8();
    const QVariantList values = RecordColumns::values(QString(), body, record.factsOrRead());
    QList<QByteArray> texts;
    texts.reserve(values.size() - 1);
    for (qsizetype i = 1; i < values.size(); ++i)
        texts << textOf(values[i]);
    return texts;
}

} // namespace

const QByteArray& PgRecordRows::columns() {
    static const QByteArray names = RecordColumns::names();
    return names;
}

QByteArray PgRecordRows::unnestAll(int first) {
    QByteArray sql = "unnest($" + QByteArray::number(first) + "::bigint[]";
    int parameter = first + 1;
    for (const RecordColumns::Column& column : RecordColumns::all())
        sql += ", $" + QByteArray::number(parameter++) +
               (column.type == RecordColumns::Type::Real ? "::float8[]" : "::text[]");
    return sql + ')';
}

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

QList<QByteArray> PgRecordRows::arrays() const {
    // The place, then every column: empty arrays for a report of none.
    QList<QList<QByteArray>> columns(1 + RecordColumns::all().size());
    for (const Row& row : m_rows) {
        columns[0] << QByteArray::number(row.position + 1);
        columns[1] << (row.recordId.isNull() ? QByteArray() : row.recordId.toUtf8());
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
