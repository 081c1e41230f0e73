#pragma once

#include <QByteArray>

// The store's queries are written with `?` parameters, as SQLite takes
// them; PostgreSQL numbers its own: $1, $2, ... A `?` inside a quoted
// string or name, or a comment, is text and stays.
class PgPlaceholders {
public:
    // The statement with numbered parameters; `count` is how many.
    static QByteArray translate(const char* sql, int* count);
};
