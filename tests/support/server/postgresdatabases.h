#pragma once

#include "support/server/postgresinstance.h"

#include <QString>
#include <memory>

// One PostgreSQL server for a whole test program, started by the first
// test that asks for a database, and a new empty database on it for each.
class PostgresDatabases {
public:
    // The URL of a new database named `prefix` and a number. Empty when
    // there is none: with `skipWhy` set when no server could be started
    // (the test skips), with `error` when the database was not made.
    QString next(const QString& prefix, QString* skipWhy, QString* error);
    // A data table's column "store" with a row for each store, "sqlite" and
    // "postgresql": tests that hold both stores to one rule.
    static void addStoreRows();

private:
    std::unique_ptr<PostgresInstance> m_server;
    QString m_missing;
    int m_made = 0;
};
