#include "server/store/pgresult.h"

#include <libpq-fe.h>
#include <utility>
#include <vector>

namespace {

// Built-in type OIDs (pg_type.dat); fixed across server versions.
constexpr Oid kBool = 16;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kNumeric = 1700;

} // namespace

PgResult::~PgResult() {
    PQclear(m_result);
}

PgResult::PgResult(PgResult&& other) noexcept
    : m_result(std::exchange(other.m_result, nullptr)), m_conn(other.m_conn) {}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        PQclear(m_result);
        m_result = std::exchange(other.m_result, nullptr);
        m_conn = other.m_conn;
    }
    return *this;
}

namespace {

std::vector<const char*> valuesOf(const QList<QByteArray>& params) {
    std::vector<const char*> values;
    values.reserve(std::size_t(params.size()));
    for (const QByteArray& param : params)
        values.push_back(param.isNull() ? nullptr : param.constData());
    return values;
}

// What the server says when a connection has not prepared the name: a new
// connection, or one whose session was reset.
constexpr char kUnknownStatement[] = "26000";

} // namespace

PgResult PgResult::exec(pg_conn* conn, const char* sql, const QList<QByteArray>& params,
                        const QList<unsigned>& types) {
    const std::vector<const char*> values = valuesOf(params);
    std::vector<Oid> oids(types.begin(), types.end());
    return PgResult(PQexecParams(conn, sql, int(values.size()),
                                 oids.empty() ? nullptr : oids.data(), values.data(), nullptr,
                                 nullptr, 0),
                    conn);
}

// Executing first and preparing on the server's refusal keeps no record of
// which connections have prepared what: it costs one refused round trip per
// connection, once.
PgResult PgResult::execPrepared(pg_conn* conn, const char* name, const char* sql,
                                const QList<QByteArray>& params, const QList<unsigned>& types) {
    const std::vector<const char*> values = valuesOf(params);
    auto run = [&] {
        return PgResult(
            PQexecPrepared(conn, name, int(values.size()), values.data(), nullptr, nullptr, 0),
            conn);
    };
    PgResult result = run();
    if (result.sqlState() != kUnknownStatement)
        return result;
    const std::vector<Oid> oids(types.begin(), types.end());
    PgResult prepared(PQprepare(conn, name, sql, int(oids.size()), oids.data()), conn);
    return prepared.ok() ? run() : std::move(prepared);
}

bool PgResult::ok() const {
    const ExecStatusType status = PQresultStatus(m_result);
    return m_result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

QByteArray PgResult::sqlState() const {
    const char* state = m_result ? PQresultErrorField(m_result, PG_DIAG_SQLSTATE) : nullptr;
    return state ? QByteArray(state) : QByteArray();
}

QString PgResult::message() const {
    const char* text = m_result ? PQresultErrorMessage(m_result) : PQerrorMessage(m_conn);
    if (!text || !*text)
        text = PQerrorMessage(m_conn);
    return QString::fromUtf8(text).simplified();
}

int PgResult::rows() const {
    return m_result ? PQntuples(m_result) : 0;
}

int PgResult::columns() const {
    return m_result ? PQnfields(m_result) : 0;
}

bool PgResult::isNull(int row, int column) const {
    return PQgetisnull(m_result, row, column) != 0;
}

QByteArray PgResult::bytes(int row, int column) const {
    return QByteArray(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

QVariant PgResult::value(int row, int column) const {
    if (isNull(row, column))
        return {};
    const QByteArray text = bytes(row, column);
    switch (PQftype(m_result, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
        return qlonglong(text.toLongLong());
    case kBool:
        // As SQLite gives a comparison's truth.
        return qlonglong(text == "t" ? 1 : 0);
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return text.toDouble();
    default:
        return QString::fromUtf8(text);
    }
}

qint64 PgResult::affectedRows() const {
    return m_result ? QByteArray(PQcmdTuples(m_result)).toLongLong() : 0;
}
