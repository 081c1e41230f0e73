#pragma once

#include "support/server/postgresinstance.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The deployment kit as an operator runs it, on this machine: the nginx site
// of packaging/nginx, its TLS certificate from an authority made for the run,
// in front of two content server processes on one PostgreSQL of the run's
// own, each taking nginx on 127.0.0.1 as its trusted proxy and the https
// address as its public one. A second TLS port of the same nginx shows a
// certificate from another authority, which nobody trusts. Everything stops
// when the object goes.
class TlsDeployment {
public:
    TlsDeployment() = default;
    ~TlsDeployment();
    TlsDeployment(const TlsDeployment&) = delete;
    TlsDeployment& operator=(const TlsDeployment&) = delete;

    // Why the deployment cannot run on this machine (a program that is not
    // installed), or empty.
    static QString missingProgram();
    // Starts it all; nginx listens on 127.0.0.1 and on the IPv4 `addresses`
    // given, which the certificate names too. False with one line that says
    // why.
    bool start(const QStringList& addresses, QString* why);

    // "https://127.0.0.1:PORT", the public address the servers are told.
    QString origin(const QString& address = QStringLiteral("127.0.0.1")) const;
    QString untrustedOrigin() const;
    // The authority's certificate, PEM.
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }

    // Stops server 0 or 1 as its unit would (SIGTERM); false when it does
    // not end in time.
    bool stopServer(int index);
    // What `sql` gives, a line per row, columns separated by tabs; empty
    // with a warning when psql fails.
    QStringList rows(const QString& sql) const;
    // The last lines each server has logged, for a failure's message.
    QString serverLogs() const;

private:
    bool run(const QString& program, const QStringList& arguments, QByteArray* output,
             QString* why) const;
    bool makeCertificates(const QStringList& addresses, QString* why);
    bool startServers(QString* why);
    bool startNginx(const QStringList& addresses, QString* why);
    QString siteFile(const QStringList& addresses, QString* why) const;
    bool answersHealth() const;

    QTemporaryDir m_dir;
    PostgresInstance m_postgres;
    QProcess m_servers[2];
    QProcess m_nginx;
    QList<int> m_upstreams;
    int m_port = 0;
    int m_untrustedPort = 0;
};
