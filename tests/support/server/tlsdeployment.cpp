#include "support/server/tlsdeployment.h"

#include "support/server/contentserverprocess.h"
#include "support/server/freeport.h"
#include "support/server/nginxproxy.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

namespace {

constexpr int kProgramTimeoutMs = 30000;
constexpr int kNginxReadyMs = 15000;

// Curve keys: four of them take a few milliseconds, not seconds.
QStringList newKey(const QString& name) {
    return {"-newkey", "ec",      "-pkeyopt",   "ec_paramgen_curve:prime256v1",
            "-nodes",  "-keyout", name + ".key"};
}

void endProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(15000))
        process.kill();
    process.waitForFinished();
}

} // namespace

TlsDeployment::~TlsDeployment() {
    endProcess(m_nginx);
    for (QProcess& server : m_servers)
        endProcess(server);
}

QString TlsDeployment::missingProgram() {
    if (NginxProxy::executable().isEmpty())
        return QStringLiteral("nginx is not installed (Debian package nginx-light)");
    if (PostgresInstance::binaryFolder().isEmpty())
        return QStringLiteral("PostgreSQL is not installed");
    return {};
}

bool TlsDeployment::start(const QStringList& addresses, QString* why) {
    if (!m_dir.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    return m_postgres.start(why) && makeCertificates(addresses, why) && startServers(why) &&
           startNginx(addresses, why);
}

QString TlsDeployment::origin(const QString& address) const {
    return QStringLiteral("https://%1:%2").arg(address).arg(m_port);
}

QString TlsDeployment::untrustedOrigin() const {
    return QStringLiteral("https://127.0.0.1:%1").arg(m_untrustedPort);
}

bool TlsDeployment::run(const QString& program, const QStringList& arguments, QByteArray* output,
                        QString* why) const {
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(program, arguments);
    if (!process.waitForFinished(kProgramTimeoutMs) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *why = QStringLiteral("%1 %2 failed: %3")
                   .arg(program, arguments.value(0),
                        QString::fromUtf8(process.readAllStandardError()).simplified());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

// An authority and the server's certificate from it, naming every address
// nginx listens on; a second authority and a certificate from it that no
// client is told of.
bool TlsDeployment::makeCertificates(const QStringList& addresses, QString* why) {
    QStringList names{QStringLiteral("IP:127.0.0.1")};
    for (const QString& address : addresses)
        names << QStringLiteral("IP:") + address;
    QFile ext(m_dir.filePath(QStringLiteral("ext.cnf")));
    if (!ext.open(QIODevice::WriteOnly) ||
        ext.write("subjectAltName=" + names.join(',').toLatin1() + '\n') < 0) {
        *why = QStringLiteral("cannot write %1").arg(ext.fileName());
        return false;
    }
    ext.close();
    const QString openssl = QStringLiteral("openssl");
    for (const QString& ca : {QStringLiteral("ca"), QStringLiteral("other-ca")}) {
        const QString server = ca == "ca" ? QStringLiteral("server") : QStringLiteral("other");
        if (!run(openssl,
                 QStringList{"req", "-x509"} + newKey(ca) +
                     QStringList{"-out", ca + ".pem", "-days", "2", "-subj", "/CN=Vantoro " + ca},
                 nullptr, why) ||
            !run(openssl,
                 QStringList{"req"} + newKey(server) +
                     QStringList{"-out", server + ".csr", "-subj", "/CN=127.0.0.1"},
                 nullptr, why) ||
            !run(openssl,
                 {"x509", "-req", "-in", server + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                  "-CAcreateserial", "-out", server + ".pem", "-days", "2", "-extfile", "ext.cnf"},
                 nullptr, why))
            return false;
    }
    return true;
}

bool TlsDeployment::startServers(QString* why) {
    m_port = freeLoopbackPort();
    m_untrustedPort = freeLoopbackPort();
    for (int i = 0; i < 2; ++i) {
        const QString home = m_dir.filePath(QStringLiteral("server%1").arg(i));
        QDir().mkpath(home);
        const int port = startContentServer(m_servers[i],
                                            {"--database", m_postgres.url(), "--trusted-proxy",
                                             "127.0.0.1", "--public-url", origin()},
                                            home, home + "/log.txt");
        if (port <= 0) {
            *why = QStringLiteral("content server %1 did not start: %2").arg(i).arg(serverLogs());
            return false;
        }
        m_upstreams << port;
    }
    return true;
}

// The site file as shipped, with this run's addresses, ports and
// certificates, and the second port with the certificate nobody trusts.
QString TlsDeployment::siteFile(const QStringList& addresses, QString* why) const {
    QFile site(qEnvironmentVariable("VANTORO_SOURCE_DIR") +
               "/packaging/nginx/vantoro-content-server.conf");
    if (!site.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1 (is VANTORO_SOURCE_DIR set?)").arg(site.fileName());
        return {};
    }
    QString listen;
    for (const QString& address : QStringList{"127.0.0.1"} + addresses)
        listen += QStringLiteral("listen %1:%2 ssl http2;\n    ").arg(address).arg(m_port);
    QString text = QString::fromUtf8(site.readAll());
    text.remove(QRegularExpression("\\n *listen \\[::\\][^\\n]*"));
    text.replace("listen 80;", QStringLiteral("listen 127.0.0.1:%1;").arg(freeLoopbackPort()))
        .replace(QRegularExpression("listen 443 ssl http2;\\n *"), listen)
        .replace("127.0.0.1:8081", QStringLiteral("127.0.0.1:%1").arg(m_upstreams[0]))
        .replace("127.0.0.1:8082", QStringLiteral("127.0.0.1:%1").arg(m_upstreams[1]))
        .replace("/etc/ssl/certs/vantoro.example.com.pem", m_dir.filePath("server.pem"))
        .replace("/etc/ssl/private/vantoro.example.com.key", m_dir.filePath("server.key"));
    return text + QStringLiteral("server {\n    listen 127.0.0.1:%1 ssl;\n"
                                 "    ssl_certificate %2;\n    ssl_certificate_key %3;\n"
                                 "    location / { proxy_pass http://vantoro_servers; }\n}\n")
                      .arg(m_untrustedPort)
                      .arg(m_dir.filePath("other.pem"), m_dir.filePath("other.key"));
}

bool TlsDeployment::startNginx(const QStringList& addresses, QString* why) {
    const QString site = siteFile(addresses, why);
    if (site.isEmpty())
        return false;
    const QString d = m_dir.path();
    QDir().mkpath(d + "/temp");
    QFile conf(d + "/nginx.conf");
    if (!conf.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("cannot write %1").arg(conf.fileName());
        return false;
    }
    conf.write(QStringLiteral("daemon off;\nmaster_process off;\npid %1/nginx.pid;\n"
                              "error_log %1/error.log;\nevents { worker_connections 256; }\n"
                              "http {\n access_log off;\n client_body_temp_path %1/temp;\n"
                              " proxy_temp_path %1/temp;\n fastcgi_temp_path %1/temp;\n"
                              " uwsgi_temp_path %1/temp;\n scgi_temp_path %1/temp;\n%2\n}\n")
                   .arg(d, site)
                   .toUtf8());
    conf.close();
    m_nginx.start(NginxProxy::executable(), {"-p", d, "-c", d + "/nginx.conf"});
    m_nginx.waitForStarted();
    for (QDeadlineTimer until(kNginxReadyMs); !until.hasExpired(); QThread::msleep(100))
        if (answersHealth())
            return true;
    QFile log(d + "/error.log");
    log.open(QIODevice::ReadOnly);
    *why = QStringLiteral("nginx did not answer over TLS: %1")
               .arg(QString::fromUtf8(log.readAll().right(600)));
    return false;
}

bool TlsDeployment::answersHealth() const {
    QByteArray out;
    QString ignored;
    return m_nginx.state() == QProcess::Running &&
           run("curl", {"-sS", "--cacert", caFile(), origin() + "/healthz"}, &out, &ignored) &&
           out == "ok\n";
}

bool TlsDeployment::stopServer(int index) {
    QProcess& server = m_servers[index];
    server.terminate();
    return server.waitForFinished(15000);
}

QStringList TlsDeployment::rows(const QString& sql) const {
    QByteArray out;
    QString why;
    if (!run(PostgresInstance::binaryFolder() + "/psql",
             {"-At", "-F", "\t", "-d", m_postgres.url(), "-c", sql}, &out, &why)) {
        qWarning("%s", qPrintable(why));
        return {};
    }
    return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
}

QString TlsDeployment::serverLogs() const {
    QString logs;
    for (int i = 0; i < 2; ++i) {
        QFile log(m_dir.filePath(QStringLiteral("server%1/log.txt").arg(i)));
        log.open(QIODevice::ReadOnly);
        logs += QStringLiteral("\n-- server %1:\n").arg(i) +
                QString::fromUtf8(log.readAll().right(1500));
    }
    return logs;
}
