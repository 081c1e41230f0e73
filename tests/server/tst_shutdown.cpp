#include "server/admin/admintoken.h"
#include "server/contentserver.h"
#include "server/http/httplimits.h"
#include "server/store/sqlitereportstore.h"
#include "support/server/contentserverprocess.h"
#include "support/server/gzippedreport.h"
#include "support/server/rawsocket.h"
#include "support/server/storedreports.h"
#include "support/zlibpacked.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <httplib.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kSenders = 4;
constexpr int kRecordsPerReport = 3;

QStringList idsFor(int sender, int report) {
    QStringList ids;
    for (int i = 0; i < kRecordsPerReport; ++i)
        ids << QStringLiteral("s%1-r%2-%3").arg(sender).arg(report).arg(i);
    return ids;
}

QByteArray postHead(qsizetype length, const QByteArray& extra = {}) {
    return "POST /analytics/report HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Encoding: gzip\r\n" +
           extra + "Content-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

// An upload that asks for a go-ahead: the server's "100 Continue" says it
// has the head, which is what a shutdown waits for.
const QByteArray kExpectContinue = "Expect: 100-continue\r\n";

QByteArray post(const QStringList& ids) {
    const QByteArray body = gzippedReport(ids);
    return postHead(body.size()) + body;
}

// What one sender saw of its reports.
struct Sent {
    QList<QStringList> answered;
    QList<QStringList> unanswered;
    int otherStatus = 0;
};

// POSTs reports on a kept-alive connection, connecting again when the server
// closes it, until a connection is refused (the server is gone) or `stop`.
void sendUntilRefused(int port, int sender, const std::atomic<bool>& stop,
                      std::atomic<int>& answeredInAll, Sent& sent) {
    RawSocket socket;
    for (int report = 0; !stop; ++report) {
        const QStringList ids = idsFor(sender, report);
        if (!socket.isOpen() && !socket.connectTo(port)) {
            sent.unanswered << ids;
            return;
        }
        const QByteArray response = socket.send(post(ids)) ? socket.readResponse() : QByteArray();
        if (response.isEmpty()) {
            sent.unanswered << ids;
            socket.close();
            continue;
        }
        if (RawSocket::statusOf(response) == 200) {
            sent.answered << ids;
            ++answeredInAll;
        } else {
            ++sent.otherStatus;
        }
        if (RawSocket::headerOf(response, "Connection") == "close")
            socket.close();
    }
}

QMap<QString, int> idCounts(const QString& databasePath) {
    SqliteReportStore store;
    QString error;
    QMap<QString, int> counts;
    if (!store.open(databasePath, &error))
        return counts;
    for (const QString& id : StoredReports(store).recordIds())
        ++counts[id];
    return counts;
}

std::mutex g_logMutex;
QStringList g_log;

void keepLog(QtMsgType, const QMessageLogContext&, const QString& message) {
    std::lock_guard lock(g_logMutex);
    g_log << message;
}

} // namespace

// The health check, and the graceful shutdown both in process (with a short
// limit) and of the stand-alone server under a stream of reports.
class TestShutdown : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void healthzSaysWhetherReportsCanBeKept_data();
    void healthzSaysWhetherReportsCanBeKept();
    void shutdownServesRequestsUnderWayAndClosesTheRest();
    void sigtermDuringReportsLosesNoneAndKeepsEachOnce();

private:
    // Starts the stand-alone server on the data folder; its port, or 0.
    int startServer(QProcess& server, const QString& logFile);
    // SIGTERM, then the time to a clean exit, or -1.
    static qint64 terminate(QProcess& server, int limitMs);
    QString databasePath() const { return m_home.filePath("server/reports.sqlite"); }

    QTemporaryDir m_home;
};

void TestShutdown::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_home.isValid());
}

void TestShutdown::healthzSaysWhetherReportsCanBeKept_data() {
    QTest::addColumn<bool>("storeCanOpen");
    QTest::addColumn<int>("status");
    QTest::newRow("store open") << true << 200;
    QTest::newRow("store cannot be opened") << false << 503;
}

void TestShutdown::healthzSaysWhetherReportsCanBeKept() {
    QFETCH(bool, storeCanOpen);
    QFETCH(int, status);
    QTemporaryDir dir;
    ContentServer server;
    server.setDataFolder(dir.path());
    // A folder is no database file.
    if (!storeCanOpen)
        server.setDatabaseUrl("sqlite:" + dir.path());
    // The check needs no token even where /admin wants one.
    server.setAdminToken(AdminToken::fromSecret("0123456789abcdef0123"));
    QVERIFY(server.start());
    httplib::Client client("127.0.0.1", server.port());
    const auto got = client.Get("/healthz");
    QVERIFY(got);
    QCOMPARE(got->status, status);
    // Nothing for a stranger to learn: no path, no error text, no version.
    QVERIFY(got->body.size() < 16);
    QVERIFY(!QString::fromStdString(got->body).contains(dir.path()));
    QVERIFY(!got->has_header("Server"));
    const auto head = client.Head("/healthz");
    QVERIFY(head);
    QCOMPARE(head->status, status);
    QVERIFY(head->body.empty());
}

void TestShutdown::shutdownServesRequestsUnderWayAndClosesTheRest() {
    QTemporaryDir dir;
    ContentServer server;
    server.setDataFolder(dir.path());
    QVERIFY(server.start());
    const int port = server.port();

    RawSocket idle;
    QVERIFY(idle.connectTo(port));
    QVERIFY(idle.send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n"));
    QCOMPARE(RawSocket::statusOf(idle.readResponse()), 200);
    RawSocket halfHead;
    QVERIFY(halfHead.connectTo(port) && halfHead.send("GET / HTTP/1.1\r\nHost: x"));
    // Two reports whose heads are here and bodies half; one will finish.
    const QStringList finishedIds{"finished-1", "finished-2"};
    const QStringList cutIds{"cut-1"};
    const QByteArray finishing = gzippedReport(finishedIds);
    const QByteArray stalled = gzippedReport(cutIds);
    RawSocket finisher;
    QVERIFY(finisher.connectTo(port) &&
            finisher.send(postHead(finishing.size(), kExpectContinue) + finishing.left(10)));
    RawSocket staller;
    QVERIFY(staller.connectTo(port) &&
            staller.send(postHead(stalled.size(), kExpectContinue) + stalled.left(10)));
    QCOMPARE(RawSocket::statusOf(finisher.readResponse()), 100);
    QCOMPARE(RawSocket::statusOf(staller.readResponse()), 100);

    // The clients act while shutdown() blocks this thread, which owns the server.
    bool idleClosed = false, halfHeadClosed = false, lateRefused = false;
    QByteArray answer;
    std::thread clients([&] {
        idleClosed = idle.closedWithin(1000);
        halfHeadClosed = halfHead.closedWithin(1000);
        RawSocket late;
        for (QDeadlineTimer until(1000); !lateRefused && !until.hasExpired();)
            lateRefused = !late.connectTo(port);
        if (finisher.send(finishing.mid(10)))
            answer = finisher.readResponse();
        finisher.close();
    });
    const QtMessageHandler previous = qInstallMessageHandler(keepLog);
    QElapsedTimer clock;
    clock.start();
    server.shutdown(std::chrono::milliseconds(1500));
    const qint64 tookMs = clock.elapsed();
    qInstallMessageHandler(previous);
    clients.join();

    QVERIFY(idleClosed);
    QVERIFY(halfHeadClosed);
    QVERIFY(lateRefused);
    QCOMPARE(RawSocket::statusOf(answer), 200);
    QCOMPARE(RawSocket::headerOf(answer, "Connection"), QByteArray("close"));
    // The stalled upload held the shutdown to the limit and not past it.
    QVERIFY2(tookMs >= 1400 && tookMs < 2500, qPrintable(QString::number(tookMs)));
    QVERIFY(!server.isRunning());
    QVERIFY(staller.closedWithin(1000));
    const QMap<QString, int> kept = idCounts(dir.filePath("reports.sqlite"));
    QCOMPARE(kept.keys(), finishedIds);
    const QString summary = g_log.filter("shut down in").value(0);
    QVERIFY2(summary.contains("requests under way: 2, answered: 1, cut at the limit: 1"),
             qPrintable(summary));
}

int TestShutdown::startServer(QProcess& server, const QString& logFile) {
    return startContentServer(server, {"--data", m_home.filePath("server")}, m_home.path(),
                              logFile);
}

qint64 TestShutdown::terminate(QProcess& server, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(server.processId()), SIGTERM);
    const bool ended = server.waitForFinished(limitMs);
    const qint64 took = clock.elapsed();
    if (!ended) {
        server.kill();
        server.waitForFinished();
        return -1;
    }
    return server.exitStatus() == QProcess::NormalExit && server.exitCode() == 0 ? took : -1;
}

void TestShutdown::sigtermDuringReportsLosesNoneAndKeepsEachOnce() {
    const int limitMs = int(std::chrono::milliseconds(HttpLimits::kShutdownLimit).count());
    QProcess first;
    const int port = startServer(first, m_home.filePath("first.log"));
    QVERIFY(port > 0);

    std::atomic<bool> stop = false;
    std::atomic<int> answered = 0;
    std::vector<Sent> sent(kSenders);
    std::vector<std::thread> senders;
    for (int i = 0; i < kSenders; ++i)
        senders.emplace_back(
            [&, i] { sendUntilRefused(port, i, stop, answered, sent[std::size_t(i)]); });
    QTRY_VERIFY_WITH_TIMEOUT(answered >= 40 * kSenders, 20000);
    // An upload that has sent its head and then stalls must not keep the
    // server past its limit.
    RawSocket slow;
    QVERIFY(slow.connectTo(port) && slow.send(postHead(1000, kExpectContinue) + "abc"));
    QCOMPARE(RawSocket::statusOf(slow.readResponse()), 100);
    const qint64 tookMs = terminate(first, limitMs + 5000);
    stop = true;
    for (std::thread& sender : senders)
        sender.join();
    QVERIFY2(tookMs >= 0, "no clean exit within the limit");
    QVERIFY2(tookMs < limitMs + 1000, qPrintable(QString::number(tookMs)));
    QVERIFY(slow.readResponse(1000).isEmpty());

    QList<QStringList> answeredIds, unansweredIds;
    for (const Sent& one : sent) {
        QCOMPARE(one.otherStatus, 0);
        answeredIds += one.answered;
        unansweredIds += one.unanswered;
    }
    QFile log(m_home.filePath("first.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logText = log.readAll();
    QVERIFY(logText.contains("shutting down"));
    const qsizetype summary = logText.indexOf("shut down in");
    QVERIFY(summary >= 0);
    qInfo("SIGTERM to exit %lld ms; %lld reports answered, %lld unanswered; %s", tookMs,
          answeredIds.size(), unansweredIds.size(),
          logText.mid(summary, logText.indexOf('\n', summary) - summary).constData());

    QMap<QString, int> kept = idCounts(databasePath());
    for (const QStringList& ids : answeredIds)
        for (const QString& id : ids)
            QVERIFY2(kept.value(id) == 1, qPrintable(id));

    // The uploader sends again what got no answer, to the next server.
    QProcess second;
    const int secondPort = startServer(second, m_home.filePath("second.log"));
    QVERIFY(secondPort > 0);
    RawSocket socket;
    for (const QStringList& ids : unansweredIds) {
        if (!socket.isOpen())
            QVERIFY(socket.connectTo(secondPort));
        QVERIFY(socket.send(post(ids)));
        QCOMPARE(RawSocket::statusOf(socket.readResponse()), 200);
    }
    socket.close();
    QVERIFY(terminate(second, limitMs) >= 0);

    kept = idCounts(databasePath());
    qsizetype sentIds = 0;
    for (const QStringList& ids : answeredIds + unansweredIds) {
        sentIds += ids.size();
        for (const QString& id : ids)
            QVERIFY2(kept.value(id) == 1, qPrintable(id));
    }
    QCOMPARE(qsizetype(kept.size()), sentIds);
}

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"
