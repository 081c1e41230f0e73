#pragma once

#include "server/store/reportstore.h"

#include <QByteArray>
#include <QList>

// A report's records as PostgreSQL array literals, one per column, so that
// all of them go to the server in one statement. The rows are in order of
// record id: two reports that share ids then take their locks on those ids
// in the same order and never wait on each other in a cycle.
class PgRecordRows {
public:
    explicit PgRecordRows(const QList<ReportStore::Record>& records);

    int size() const { return m_size; }
    // One array per column: first each row's place in the report (from 1),
    // then the columns in the order of columns().
    QList<QByteArray> arrays() const;

    // The columns the arrays fill after the place, and the unnest() of the
    // arrays, given as parameters from `$first` on, with their types.
    static const QByteArray& columns();
    static QByteArray unnestAll(int first);

private:
    struct Row {
        int position; // in the report
        QString recordId;
        QList<QByteArray> values; // a null one for NULL
    };
    static QByteArray arrayOf(const QList<QByteArray>& values);

    QList<Row> m_rows;
    int m_size = 0;
};
