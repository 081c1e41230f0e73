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
    // The arrays in the order of columns(), after the ids: one id per row,
    // given in the order of the records in the report.
    QList<QByteArray> arrays(const QList<qint64>& ids) const;

    // The columns the arrays fill, after "id", and the unnest() of the
    // arrays ($2 on) with their types.
    static const QByteArray& columns();
    static const QByteArray& unnestAll();

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
