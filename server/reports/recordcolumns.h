#pragma once

#include "server/reports/recordfacts.h"

#include <QByteArray>
#include <QList>
#include <QVariant>

// The columns a kept record has besides its row id and its report, in one
// table that both stores build their statements from: a new fact is one
// line here (and its field in RecordFacts), not an edit of every CREATE,
// INSERT and UPDATE.
class RecordColumns {
public:
    enum class Type {
        Text, // compared byte by byte on either store
        Real,
        Json, // the record's own text, never compared
    };

    struct Column {
        const char* name;
        Type type;
        // The column's value from a record's facts; null for the two that
        // come from the upload itself (record_id and body).
        QVariant (*fact)(const RecordFacts&);
        bool unique = false;
        // The store version that added it: an older store gains it then,
        // and a SQLite file reads its records' facts again.
        int since = 1;
    };

    // record_id, body, then the facts.
    static const QList<Column>& all();
    // The newest `since` of all().
    static int version();
    // A record's values in the order of all(): QString, double, or a null
    // QVariant for NULL.
    static QVariantList values(const QString& recordId, const QByteArray& body,
                               const RecordFacts& facts);
    enum class Dialect { Sqlite, Postgres };
    // "name TYPE" in the store's own words. On PostgreSQL texts compare byte
    // by byte, as SQLite compares them, whatever the database's locale.
    static QByteArray definition(const Column& column, Dialect dialect);
    // "a, b, c", each name after `prefix` ("r." gives "r.a, r.b, r.c").
    static QByteArray names(QByteArrayView prefix = {});
};
