#include "server/reports/recordcolumns.h"

#include <algorithm>

namespace {

QVariant text(const QString& value) {
    return value.isNull() ? QVariant() : QVariant(value);
}

QVariant number(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant();
}

// A crash's parts are there for errors only.
template <QString CrashSignature::*part> QVariant crashPart(const RecordFacts& facts) {
    return facts.crash ? text((*facts.crash).*part) : QVariant();
}

} // namespace

const QList<RecordColumns::Column>& RecordColumns::all() {
    using T = Type;
    static const QList<Column> columns{
        {"record_id", T::Text, nullptr, true},
        {"body", T::Json, nullptr},
        {"kind", T::Text, [](const RecordFacts& f) { return text(f.kind); }},
        {"event_id", T::Text, [](const RecordFacts& f) { return text(f.eventId); }},
        {"label", T::Text, [](const RecordFacts& f) { return text(f.label); }},
        {"ts", T::Real, [](const RecordFacts& f) { return number(f.ts); }},
        {"day", T::Text, [](const RecordFacts& f) { return text(f.day); }},
        {"duration", T::Real, [](const RecordFacts& f) { return number(f.duration); }},
        {"crash_kind", T::Text, crashPart<&CrashSignature::kind>},
        {"crash_build", T::Text, crashPart<&CrashSignature::buildId>},
        {"crash_frame", T::Text, crashPart<&CrashSignature::frame>},
        {"crash_group", T::Text, crashPart<&CrashSignature::groupKey>},
    };
    return columns;
}

int RecordColumns::version() {
    const auto& columns = all();
    return std::max_element(columns.begin(), columns.end(),
                            [](const Column& a, const Column& b) { return a.since < b.since; })
        ->since;
}

QVariantList RecordColumns::values(const QString& recordId, const QByteArray& body,
                                   const RecordFacts& facts) {
    QVariantList values;
    values.reserve(all().size());
    for (const Column& column : all()) {
        if (column.fact)
            values << column.fact(facts);
        else
            values << (column.type == Type::Json ? QVariant(body) : text(recordId));
    }
    return values;
}

QByteArray RecordColumns::definition(const Column& column, Dialect dialect) {
    const bool postgres = dialect == Dialect::Postgres;
    QByteArray type;
    switch (column.type) {
    case Type::Real:
        type = postgres ? "DOUBLE PRECISION" : "REAL";
        break;
    case Type::Json:
        type = "TEXT NOT NULL";
        break;
    default:
        type = postgres ? "TEXT COLLATE \"C\"" : "TEXT";
        if (column.unique)
            type += " UNIQUE";
    }
    return QByteArray(column.name) + ' ' + type;
}

QByteArray RecordColumns::names(QByteArrayView prefix) {
    QByteArray names;
    for (const Column& column : all()) {
        if (!names.isEmpty())
            names += ", ";
        names += prefix;
        names += column.name;
    }
    return names;
}
