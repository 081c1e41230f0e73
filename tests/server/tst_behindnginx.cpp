#include "support/server/tlsdeployment.h"
#include "support/zlibpacked.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

// The deployment kit as an operator runs it: the site file of packaging/nginx
// in front of two server processes on one PostgreSQL, over TLS with a
// certificate of a CA made for this run, players on another address.
class TestBehindNginx : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (const QString missing = TlsDeployment::missingProgram(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        QString why;
        QVERIFY2(m_site.start({}, &why), qPrintable(why));
    }

    // Pages over HTTP/2 with the test CA, landing pages linking to the
    // public https address.
    void pagesComeOverTls() {
        QByteArray out;
        QVERIFY(curl({"-w", "\n%{http_code} %{http_version}", "/wechat/getPm25Rank.do"}, &out));
        QVERIFY2(out.endsWith("\n200 2"), out.right(40).constData());
        QVERIFY(curl({"/wechat/capacityPmShare.do?value=3000&percent=50&level=1_2"}, &out));
        const QByteArray link =
            (m_site.origin() + "/wechat/capacityPmShare.do?value=3000&amp;percent=50").toUtf8();
        QVERIFY2(out.contains(link), link.constData());
    }

    // A player's own X-Forwarded-For is not taken for its address; a
    // server stopped mid-stream loses no report, and nothing is doubled.
    void reportsReachTheStoreOnceThroughEitherServer() {
        QStringList sent;
        for (int n = 0; n < 20; ++n) {
            if (n == 10)
                QVERIFY(m_site.stopServer(0));
            const QString id = QStringLiteral("nginx-%1").arg(n);
            QVERIFY2(postReport(id), qPrintable(id));
            sent << id;
        }
        const QStringList kept =
            m_site.rows("SELECT record_id FROM records WHERE record_id LIKE 'nginx-%'");
        QCOMPARE(QSet<QString>(kept.begin(), kept.end()), QSet<QString>(sent.begin(), sent.end()));
        QCOMPARE(kept.size(), sent.size());
        QCOMPARE(m_site.rows("SELECT DISTINCT client FROM reports"), QStringList{"loopback"});
    }

private:
    bool curl(QStringList arguments, QByteArray* out) {
        arguments.last().prepend(m_site.origin());
        QProcess process;
        process.start("curl", QStringList{"-sS", "--fail", "--http2", "--cacert", m_site.caFile(),
                                          "--interface", "127.0.0.2"} +
                                  arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            qWarning("curl failed: %s", process.readAllStandardError().constData());
            return false;
        }
        *out = process.readAllStandardOutput();
        return true;
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

    QTemporaryDir m_dir;
    TlsDeployment m_site;
};

QTEST_GUILESS_MAIN(TestBehindNginx)
#include "tst_behindnginx.moc"
