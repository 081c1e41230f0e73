#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

struct pg_conn;
struct pg_result;

// One libpq result, cleared on every way out of a scope, and the one way
// statements are run: parameters go as text, a null QByteArray as NULL.
class PgResult {
public:
    PgResult() = default;
    ~PgResult();
    PgResult(PgResult&& other) noexcept;
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    // `types` are parameter type OIDs (0 lets the server infer one); empty
    // for all inferred.
    static PgResult exec(pg_conn* conn, const char* sql, const QList<QByteArray>& params = {},
                         const QList<unsigned>& types = {});

    // The same through a statement prepared once per connection under
    // `name`: the server parses and plans it on first use only. `types`
    // give the first parameters' types, the server infers the rest. Outside
    // a transaction, which the first use on a connection would abort.
    static PgResult execPrepared(pg_conn* conn, const char* name, const char* sql,
                                 const QList<QByteArray>& params, const QList<unsigned>& types);

    bool ok() const;
    // The five-character SQLSTATE of a failure, empty without one.
    QByteArray sqlState() const;
    QString message() const;
    int rows() const;
    int columns() const;
    // The rows an INSERT, UPDATE or DELETE touched; 0 for other statements.
    qint64 affectedRows() const;
    bool isNull(int row, int column) const;
    QByteArray bytes(int row, int column) const;
    // A value by its column's type: integers as qlonglong, reals and
    // numerics as double, NULL as a null variant, anything else as text.
    QVariant value(int row, int column) const;

private:
    explicit PgResult(pg_result* result, pg_conn* conn) : m_result(result), m_conn(conn) {}

    pg_result* m_result = nullptr;
    pg_conn* m_conn = nullptr;
};
