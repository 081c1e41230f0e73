#include "server/store/postgresreportstores.h"
#include "support/server/contentserverprocess.h"
#include "support/server/freeport.h"
#include "support/server/nginxproxy.h"
#include "support/server/postgresinstance.h"
#include "support/zlibpacked.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
         const QString& folder = {}) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

} // namespace

// The deployment kit as an operator runs it: the site file of packaging/nginx
// in front of two server processes on one PostgreSQL, over TLS with a
// certificate of a CA made for this run, players on another address.
class TestBehindNginx : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (NginxProxy::executable().isEmpty())
            QSKIP("nginx is not installed (Debian package nginx-light)");
        PostgresReportStores::install();
        QString why;
        QVERIFY2(m_postgres.start(&why), qPrintable(why));
        QVERIFY(makeCertificates());
        m_port = freeLoopbackPort();
        for (QProcess* server : {&m_a, &m_b}) {
            const int port = startContentServer(
                *server, {"--data", m_dir.filePath(QString::number(quintptr(server))), "--database",
                          m_postgres.url(), "--trusted-proxy", "127.0.0.1", "--public-url",
                          QStringLiteral("https://127.0.0.1:%1").arg(m_port)});
            QVERIFY(port > 0);
            m_upstreams << port;
        }
        QVERIFY(startNginx());
    }

    void cleanupTestCase() {
        for (QProcess* process : {&m_nginx, &m_a, &m_b}) {
            process->terminate();
            if (!process->waitForFinished(15000))
                process->kill();
            process->waitForFinished();
        }
    }

    // Pages over HTTP/2 with the test CA, landing pages linking to the
    // public https address.
    void pagesComeOverTls() {
        QByteArray out;
        QVERIFY(curl({"-w", "\n%{http_code} %{http_version}", "/wechat/getPm25Rank.do"}, &out));
        QVERIFY2(out.endsWith("\n200 2"), out.right(40).constData());
        QVERIFY(curl({"/wechat/capacityPmShare.do?value=3000&percent=50&level=1_2"}, &out));
        const QByteArray link =
            QStringLiteral(
                "https://127.0.0.1:%1/wechat/capacityPmShare.do?value=3000&amp;percent=50")
                .arg(m_port)
                .toUtf8();
        QVERIFY2(out.contains(link), link.constData());
    }

    // A player's own X-Forwarded-For is not taken for its address; a
    // server stopped mid-stream loses no report, and nothing is doubled.
    void reportsReachTheStoreOnceThroughEitherServer() {
        QStringList sent;
        for (int n = 0; n < 20; ++n) {
            if (n == 10) {
                m_a.terminate();
                QVERIFY(m_a.waitForFinished(15000));
            }
            const QString id = QStringLiteral("nginx-%1").arg(n);
            QVERIFY2(postReport(id), qPrintable(id));
            sent << id;
        }
        QList<QVariantList> rows = m_postgresRows(
            "SELECT record_id FROM records WHERE record_id LIKE 'nginx-%' ORDER BY id");
        QStringList kept;
        for (const QVariantList& row : rows)
            kept << row.value(0).toString();
        QCOMPARE(QSet<QString>(kept.begin(), kept.end()), QSet<QString>(sent.begin(), sent.end()));
        QCOMPARE(kept.size(), sent.size());
        const auto classes = m_postgresRows("SELECT DISTINCT client FROM reports");
        QCOMPARE(classes, (QList<QVariantList>{{"loopback"}}));
    }

private:
    bool makeCertificates() {
        const QString d = m_dir.path();
        QFile ext(d + "/ext.cnf");
        if (!ext.open(QIODevice::WriteOnly) || ext.write("subjectAltName=IP:127.0.0.1\n") < 0)
            return false;
        ext.close();
        const QString openssl = QStringLiteral("openssl");
        return run(openssl,
                   {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
                    "ca.pem", "-days", "2", "-subj", "/CN=Vantoro test CA"},
                   nullptr, d) &&
               run(openssl,
                   {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out",
                    "server.csr", "-subj", "/CN=127.0.0.1"},
                   nullptr, d) &&
               run(openssl,
                   {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                    "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "ext.cnf"},
                   nullptr, d);
    }

    // The site file as shipped, with this run's ports and certificate.
    bool startNginx() {
        QFile site(qEnvironmentVariable("VANTORO_SOURCE_DIR") +
                   "/packaging/nginx/vantoro-content-server.conf");
        if (!site.open(QIODevice::ReadOnly))
            return false;
        QString text = QString::fromUtf8(site.readAll());
        text.remove(QRegularExpression("\\n *listen \\[::\\][^\\n]*"));
        text.replace("listen 80;", QStringLiteral("listen 127.0.0.1:%1;").arg(freeLoopbackPort()))
            .replace("listen 443 ", QStringLiteral("listen 127.0.0.1:%1 ").arg(m_port))
            .replace("127.0.0.1:8081", QStringLiteral("127.0.0.1:%1").arg(m_upstreams[0]))
            .replace("127.0.0.1:8082", QStringLiteral("127.0.0.1:%1").arg(m_upstreams[1]))
            .replace("/etc/ssl/certs/vantoro.example.com.pem", m_dir.filePath("server.pem"))
            .replace("/etc/ssl/private/vantoro.example.com.key", m_dir.filePath("server.key"));
        const QString d = m_dir.path();
        QDir().mkpath(d + "/temp");
        QFile conf(d + "/nginx.conf");
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("daemon off;\nmaster_process off;\npid %1/nginx.pid;\n"
                                  "error_log %1/error.log;\nevents { worker_connections 256; }\n"
                                  "http {\n access_log off;\n client_body_temp_path %1/temp;\n"
                                  " proxy_temp_path %1/temp;\n fastcgi_temp_path %1/temp;\n"
                                  " uwsgi_temp_path %1/temp;\n scgi_temp_path %1/temp;\n%2\n}\n")
                       .arg(d, text)
                       .toUtf8());
        conf.close();
        m_nginx.start(NginxProxy::executable(), {"-p", d, "-c", d + "/nginx.conf"});
        QByteArray out;
        for (int i = 0; i < 100 && !curl({"/healthz"}, &out); ++i)
            QTest::qWait(100);
        return out == "ok\n";
    }

    bool curl(QStringList arguments, QByteArray* out) {
        QString& path = arguments.last();
        path = QStringLiteral("https://127.0.0.1:%1%2").arg(m_port).arg(path);
        return run("curl",
                   QStringList{"-sS", "--fail", "--http2", "--cacert", m_dir.filePath("ca.pem"),
                               "--interface", "127.0.0.2"} +
                       arguments,
                   out);
    }

    bool postReport(const QString& id) {
        const QString file = m_dir.filePath(id + ".gz");
        QFile body(file);
        if (!body.open(QIODevice::WriteOnly))
            return false;
        body.write(
            zlibPacked(R"({"events":[{"id":")" + id.toUtf8() + R"(","type":"event"}]})", 31));
        body.close();
        QByteArray out;
        return curl({"-H", "Content-Encoding: gzip", "-H", "X-Forwarded-For: 203.0.113.9",
                     "--data-binary", "@" + file, "/analytics/report"},
                    &out) &&
               out.contains(R"("stored":1)");
    }

    QList<QVariantList> m_postgresRows(const char* sql) {
        QByteArray out;
        QList<QVariantList> rows;
        if (!run(PostgresInstance::binaryFolder() + "/psql",
                 {"-At", "-d", m_postgres.url(), "-c", QString::fromLatin1(sql)}, &out))
            return rows;
        for (const QByteArray& line : out.split('\n'))
            if (!line.isEmpty())
                rows << QVariantList{QString::fromUtf8(line)};
        return rows;
    }

    QTemporaryDir m_dir;
    PostgresInstance m_postgres;
    QProcess m_a, m_b, m_nginx;
    QList<int> m_upstreams;
    int m_port = 0;
};

QTEST_GUILESS_MAIN(TestBehindNginx)
#include "tst_behindnginx.moc"
