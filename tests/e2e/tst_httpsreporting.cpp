#include "e2e/launchedapp.h"
#include "screens/lungtest/blewtestviewcontroller.h"
#include "screens/smoggame/blewfogviewcontroller.h"
#include "server/reportintake.h"
#include "share/qmxsharetools.h"
#include "support/server/tlsdeployment.h"

#include <QApplication>
#include <QHostAddress>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QMutex g_linesMutex;
QStringList g_reportLines;
QtMessageHandler g_previousHandler = nullptr;

// The uploader logs on the analytics queue's thread.
void keepReportLines(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("analytics report"))) {
        QMutexLocker lock(&g_linesMutex);
        g_reportLines << message;
    }
    g_previousHandler(type, context, message);
}

QStringList reportLines() {
    QMutexLocker lock(&g_linesMutex);
    return g_reportLines;
}

// The address a phone on this machine's network would come from: nginx
// listens there too, so that the client the servers read from the forwarded
// header is not the proxy's own loopback address.
QString networkAddress() {
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    return {};
}

// Quiet, three seconds of a strong blow, quiet again: replayed for each
// blow, the lung test's and the smog game's.
constexpr const char* kBlow = "0 -50\n0.3 -1.5\n1.5 -1\n3.3 -45\n";

} // namespace

// The application as a player runs it against the content server as an
// operator deploys it: reports over https through nginx to two server
// processes on one PostgreSQL, one of them stopped half-way.
class TestHttpsReporting : public QObject {
    Q_OBJECT

    LaunchedApp m_app;
    TlsDeployment m_site;
    QString m_address;

    bool launch(const QString& contentBase) {
        QString error;
        const bool launched =
            m_app.launchReplaying(kBlow, &error, {QStringLiteral("--content-base"), contentBase});
        if (!launched)
            qWarning("%s", qPrintable(error));
        return launched && QTest::qWaitForWindowExposed(m_app.window());
    }

    // Each stored record's event (or its kind, for records of no event),
    // with how often it is there.
    QStringList storedKinds(const QString& where) const {
        return m_site.rows("SELECT name || ' ' || n FROM (SELECT COALESCE(event_id, kind) AS name, "
                           "COUNT(*) AS n FROM records WHERE " +
                           where + " GROUP BY 1) AS c ORDER BY 1");
    }
    int storedCount(const QString& where) const {
        return m_site.rows("SELECT COUNT(*) FROM records WHERE " + where).value(0).toInt();
    }

    void playLungTest() {
        auto* screen = m_app.screen<BlewTestViewController>(0);
        QTRY_VERIFY_WITH_TIMEOUT(screen->startBlewBtn()->isVisible(), 5000);
        QTest::mouseClick(screen->startBlewBtn(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screen->popView(), 10000);
    }

    void playSmogGame() {
        m_app.tabs()->setSelectedIndex(1);
        auto* screen = m_app.screen<BlewFogViewController>(1);
        QTRY_COMPARE_WITH_TIMEOUT(screen->fogBg()->alpha(), 1.0, 10000);
        QTest::mouseClick(screen->playBtn(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screen->shareBtnWeixin()->isVisible(), 15000);
    }

private slots:
    void initTestCase() {
        if (const QString missing = TlsDeployment::missingProgram(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        m_address = networkAddress();
        // The application sends nothing without a network of its own.
        if (m_address.isEmpty())
            QSKIP("no IPv4 address other than loopback: the application would send nothing");
        QString why;
        QVERIFY2(m_site.start({m_address}, &why), qPrintable(why));
        qputenv("SSL_CERT_FILE", m_site.caFile().toLocal8Bit());
        qunsetenv("SSL_CERT_DIR");
        g_previousHandler = qInstallMessageHandler(keepReportLines);
    }

    void cleanupTestCase() {
        m_app.quit();
        qInstallMessageHandler(g_previousHandler);
    }

    // A lung test, one server stopped, a smog game; then a launch against a
    // server whose certificate the application does not trust, which it
    // names in the log with the reason; then a launch against a trusted
    // one, which sends what was kept. Every record reaches the database
    // once, its report classed by the player's address that nginx
    // forwarded, not by nginx's own.
    void everyRecordReachesTheDatabaseOnceOverHttps() {
        QVERIFY(launch(m_site.origin(m_address)));
        playLungTest();
        // The launch's report has gone through; the rest goes to the other.
        QTRY_COMPARE_WITH_TIMEOUT(storedCount("kind = 'launch'"), 1, 15000);
        QVERIFY2(m_site.stopServer(0), qPrintable(m_site.serverLogs()));
        playSmogGame();
        checkLandingPage();
        if (QTest::currentTestFailed())
            return;
        m_app.quit();
        const QString fromNetwork = m_site.rows("SELECT MAX(id) FROM reports").value(0);
        QCOMPARE(m_site.rows("SELECT DISTINCT client FROM reports"),
                 QStringList{ReportIntake::addressClass(m_address)});
        QVERIFY(ReportIntake::addressClass(m_address) != QLatin1String("loopback"));
        QVERIFY2(reportLines().filter("not sent").isEmpty(), qPrintable(reportLines().join('\n')));

        const int before = storedCount("true");
        QVERIFY(launch(m_site.untrustedOrigin()));
        const QString host = QUrl(m_site.untrustedOrigin()).authority();
        QTRY_VERIFY_WITH_TIMEOUT(!reportLines().filter("not sent").filter(host).isEmpty(), 15000);
        const QString line = reportLines().filter("not sent").filter(host).first();
        QVERIFY2(line.contains(QLatin1String("SSL handshake failed")), qPrintable(line));
        m_app.quit();
        QCOMPARE(storedCount("true"), before);

        QVERIFY(launch(m_site.origin()));
        // What the first two uses left: all of it, with this use's launch;
        // this use's own events go with its next report.
        QTRY_COMPARE_WITH_TIMEOUT(storedCount("kind = 'launch'"), 3, 15000);
        QCOMPARE(storedKinds("body::json->>'session_id' <> (SELECT body::json->>'session_id' "
                             "FROM records WHERE kind = 'launch' ORDER BY ts DESC LIMIT 1)"),
                 (QStringList{"blow 2", "blow_amount 1", "haze 1", "haze_amount 1", "launch 2",
                              "terminate 2"}));
        QCOMPARE(m_site.rows("SELECT DISTINCT client FROM reports WHERE id > " + fromNetwork),
                 QStringList{"loopback"});
        QCOMPARE(m_site.rows("SELECT SUM(duplicates) FROM reports"), QStringList{"0"});
    }

private:
    // The lung test's landing page, through nginx, names the public address.
    void checkLandingPage() {
        auto* lungTest = m_app.screen<BlewTestViewController>(0);
        const QUrl landing(QMXShareTools::blewLandingLink(
            lungTest->totalAir(), lungTest->defeatPercent(), lungTest->currentKey()));
        QCOMPARE(landing.host(), m_address);
        // This process trusts the run's authority since the application's
        // first report over https.
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(landing)));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        const QString canonical = m_site.origin() + landing.path();
        QVERIFY2(QString::fromUtf8(reply->readAll()).contains(canonical), qPrintable(canonical));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // A home of its own: records an earlier run left unsent in the record
    // cache must not arrive in this one.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Vantoro"));
    TestHttpsReporting test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_httpsreporting.moc"
