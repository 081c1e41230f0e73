#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A PostgreSQL server of the test's own: a new cluster in a temporary
// folder, reached over 127.0.0.1 on a free port, with one database. It is
// stopped and its folder deleted when the object goes, so also when a test
// fails half-way. As root the cluster belongs to the "postgres" account,
// since PostgreSQL will not run as root.
class PostgresInstance {
public:
    PostgresInstance();
    ~PostgresInstance();
    PostgresInstance(const PostgresInstance&) = delete;
    PostgresInstance& operator=(const PostgresInstance&) = delete;

    // Creates the cluster on the first call, then starts the server and waits
    // until it takes connections. False with one line that says why (no
    // PostgreSQL binaries, a failed initdb, ...), fit for QSKIP.
    bool start(QString* why);
    // Stops the server (the cluster stays, start() brings it back on the
    // same port with the same data).
    void stop();
    bool isRunning() const { return m_running; }

    // postgresql://USER@127.0.0.1:PORT/DB of the database made at the first
    // start.
    QString url() const { return urlOf(m_database); }
    // A further, empty database; its URL, or empty with `why` set.
    QString createDatabase(const QString& name, QString* why);

    // The folder of initdb and pg_ctl, or empty when PostgreSQL is not
    // installed.
    static QString binaryFolder();

private:
    bool create(QString* why);
    bool run(const QString& program, const QStringList& arguments, QString* why, int timeoutMs);
    QString urlOf(const QString& database) const;
    QString dataFolder() const;
    QString logTail() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_created = false;
    bool m_running = false;
    bool m_mayRun = false;
    bool m_asRoot = false;
    bool m_databaseMade = false;
    const QString m_database = QStringLiteral("vantoro");
};
