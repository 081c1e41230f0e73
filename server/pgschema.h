#pragma once

#include <QString>

struct pg_conn;

// The store's tables in PostgreSQL, created or brought up to date once by
// whichever server process comes first: the version is read and the
// missing steps applied inside one transaction that holds an advisory
// lock, so a second process starting at the same moment waits and then
// finds them done.
class PgSchema {
public:
    static bool ensure(pg_conn* conn, QString* error);

    // Raised with each step added to kSteps.
    static constexpr int kVersion = 1;
};
