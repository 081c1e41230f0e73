#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct pg_conn;

// The store's tables in PostgreSQL, created or brought up to date once by
// whichever server process comes first: the version is read and the
// missing steps applied in order inside one transaction that holds an
// advisory lock, each recorded in the version table, so a second process
// starting at the same moment waits and then finds them done.
class PgSchema {
public:
    // One step: the statements that bring the tables from the version
    // before it to its own.
    struct Step {
        int version;
        QList<QByteArray> statements;
    };

    static bool ensure(pg_conn* conn, QString* error);
    // The same, with the steps given (a test's, one step beyond the
    // store's).
    static bool ensure(pg_conn* conn, const QList<Step>& steps, QString* error);

    // Every step of the store, oldest first; a change of the tables is a
    // new step at the end, never an edit of one already shipped.
    static const QList<Step>& steps();
    static int version();
};
