#pragma once

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

struct pg_conn;

// A few connections to one PostgreSQL database, each used by one operation
// at a time. While the database cannot be reached a request for a
// connection fails at once instead of queueing behind connect attempts:
// after a failed connect the next is tried a second later, one at a time.
// A connection found broken is closed and a new one opened when needed, so
// a database that comes back is used again without a restart.
class PgConnectionPool {
public:
    // The connection that one operation holds; given back when it goes.
    class Lease {
    public:
        Lease() = default;
        Lease(PgConnectionPool* pool, pg_conn* conn) : m_pool(pool), m_conn(conn) {}
        ~Lease();
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&& other) noexcept;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        pg_conn* get() const { return m_conn; }
        explicit operator bool() const { return m_conn != nullptr; }
        // True when the connection has been lost (it is then not reused).
        bool isBroken() const;

    private:
        PgConnectionPool* m_pool = nullptr;
        pg_conn* m_conn = nullptr;
    };

    // `conninfo` is a libpq connection string or postgresql:// URL.
    explicit PgConnectionPool(QByteArray conninfo, int size = 4);
    ~PgConnectionPool();
    PgConnectionPool(const PgConnectionPool&) = delete;
    PgConnectionPool& operator=(const PgConnectionPool&) = delete;

    // A connection, or none (with `error` set) when the database cannot be
    // reached now or the pool is closed.
    Lease acquire(QByteArray* error = nullptr);
    // Whether the last connection made or used worked; tries to connect
    // when that is not known and no attempt is due to wait.
    bool reachable();
    // Closes the idle connections and, as they are given back, the others.
    void close();

    static constexpr std::chrono::milliseconds kRetryPause{1000};
    static constexpr int kConnectTimeoutSeconds = 2;
    // The longest a statement may run; the dashboard over a year of a busy
    // store takes well under a second.
    static constexpr int kStatementTimeoutMs = 30000;

private:
    using Clock = std::chrono::steady_clock;

    void giveBack(pg_conn* conn);
    pg_conn* connect(QByteArray* error) const;
    pg_conn* takeIdle();
    void noteFailure(const QByteArray& error);
    void noteSuccess();

    const QByteArray m_conninfo;
    const int m_size;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<pg_conn*> m_idle;
    int m_open = 0; // idle and leased
    bool m_reachable = true;
    bool m_outage = false; // said in the log
    bool m_connecting = false;
    bool m_closed = false;
    Clock::time_point m_retryAt;
};
