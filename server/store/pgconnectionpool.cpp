#include "server/store/pgconnectionpool.h"

#include "server/serverlog.h"

#include <libpq-fe.h>
#include <utility>

namespace {

// How long an operation waits for one of the pool's connections in use by
// others before it gives up.
constexpr std::chrono::seconds kLeaseWait{10};

bool isUsable(pg_conn* conn) {
    // Reads what the server sent meanwhile without waiting: a server that
    // shut down has said so and closed the socket, which makes it bad.
    PQconsumeInput(conn);
    return PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) == PQTRANS_IDLE;
}

// The server's notices ("already exists, skipping", a shutdown's notice)
// are expected where they come; libpq would print each on stderr.
void ignoreNotice(void*, const char*) {}

} // namespace

PgConnectionPool::Lease::~Lease() {
    if (m_pool)
        m_pool->giveBack(m_conn);
}

PgConnectionPool::Lease::Lease(Lease&& other) noexcept
    : m_pool(std::exchange(other.m_pool, nullptr)), m_conn(std::exchange(other.m_conn, nullptr)) {}

PgConnectionPool::Lease& PgConnectionPool::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        if (m_pool)
            m_pool->giveBack(m_conn);
        m_pool = std::exchange(other.m_pool, nullptr);
        m_conn = std::exchange(other.m_conn, nullptr);
    }
    return *this;
}

bool PgConnectionPool::Lease::isBroken() const {
    return !m_conn || PQstatus(m_conn) != CONNECTION_OK;
}

PgConnectionPool::PgConnectionPool(QByteArray conninfo, int size)
    : m_conninfo(std::move(conninfo)), m_size(qMax(1, size)) {}

PgConnectionPool::~PgConnectionPool() {
    close();
}

PgConnectionPool::Lease PgConnectionPool::acquire(QByteArray* error) {
    std::unique_lock lock(m_mutex);
    const Clock::time_point deadline = Clock::now() + kLeaseWait;
    for (;;) {
        if (m_closed) {
            if (error)
                *error = "the store is closed";
            return {};
        }
        if (pg_conn* idle = takeIdle())
            return Lease(this, idle);
        const bool mayConnect = m_reachable || (!m_connecting && Clock::now() >= m_retryAt);
        if (m_open < m_size && mayConnect) {
            ++m_open;
            m_connecting = true;
            lock.unlock();
            QByteArray why;
            pg_conn* conn = connect(&why);
            lock.lock();
            m_connecting = false;
            if (conn) {
                noteSuccess();
                return Lease(this, conn);
            }
            --m_open;
            noteFailure(why);
            m_returned.notify_all();
            if (error)
                *error = why;
            return {};
        }
        if (!m_reachable) {
            if (error)
                *error = "the database cannot be reached";
            return {};
        }
        if (m_returned.wait_until(lock, deadline) == std::cv_status::timeout) {
            if (error)
                *error = "every connection is busy";
            return {};
        }
    }
}

// Under the lock. A broken idle connection is closed on the way.
pg_conn* PgConnectionPool::takeIdle() {
    while (!m_idle.empty()) {
        pg_conn* conn = m_idle.back();
        m_idle.pop_back();
        if (isUsable(conn))
            return conn;
        PQfinish(conn);
        --m_open;
    }
    return nullptr;
}

bool PgConnectionPool::reachable() {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return false;
        if (m_reachable)
            return true;
    }
    return bool(acquire());
}

void PgConnectionPool::close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    for (pg_conn* conn : m_idle)
        PQfinish(conn);
    m_open -= int(m_idle.size());
    m_idle.clear();
    m_returned.notify_all();
}

void PgConnectionPool::giveBack(pg_conn* conn) {
    std::lock_guard lock(m_mutex);
    if (!m_closed && isUsable(conn)) {
        m_idle.push_back(conn);
    } else {
        // A lost connection says nothing yet of the database; the next
        // connect does.
        if (!m_closed && PQstatus(conn) != CONNECTION_OK)
            m_reachable = false;
        PQfinish(conn);
        --m_open;
    }
    m_returned.notify_one();
}

pg_conn* PgConnectionPool::connect(QByteArray* error) const {
    // Given before the URL, so that what the URL says wins. A database
    // that stops answering without closing the connection must not hold a
    // request forever: TCP keepalives find a dead peer within about 25 s,
    // and no statement runs longer than the limit.
    const QByteArray timeout = QByteArray::number(kConnectTimeoutSeconds);
    const QByteArray options = "-c statement_timeout=" + QByteArray::number(kStatementTimeoutMs);
    const char* const keys[] = {"connect_timeout",
                                "client_encoding",
                                "fallback_application_name",
                                "keepalives",
                                "keepalives_idle",
                                "keepalives_interval",
                                "keepalives_count",
                                "options",
                                "dbname",
                                nullptr};
    const char* const values[] = {timeout.constData(),
                                  "UTF8",
                                  "vantoro-content-server",
                                  "1",
                                  "10",
                                  "5",
                                  "3",
                                  options.constData(),
                                  m_conninfo.constData(),
                                  nullptr};
    pg_conn* conn = PQconnectdbParams(keys, values, 1);
    if (conn && PQstatus(conn) == CONNECTION_OK) {
        PQsetNoticeProcessor(conn, ignoreNotice, nullptr);
        return conn;
    }
    *error = conn ? QByteArray(PQerrorMessage(conn)).simplified() : QByteArray("out of memory");
    PQfinish(conn);
    return nullptr;
}

// Under the lock; said once per outage, not per request.
void PgConnectionPool::noteFailure(const QByteArray& error) {
    m_retryAt = Clock::now() + kRetryPause;
    if (!m_outage)
        qCWarning(lcServer).noquote() << "report database cannot be reached:" << error;
    m_outage = true;
    m_reachable = false;
}

void PgConnectionPool::noteSuccess() {
    if (m_outage)
        qCInfo(lcServer) << "report database reached again";
    m_outage = false;
    m_reachable = true;
}
