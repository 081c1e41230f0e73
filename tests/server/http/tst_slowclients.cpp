#include "support/server/contentserverprocess.h"
#include "support/server/slowload.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

constexpr int kSlowClients = 200;
constexpr int kTrickleMs = 2000;
constexpr int kRunMs = 20000;

} // namespace

// Slow clients from many addresses must neither starve an ordinary client
// nor hold the stand-alone server up when it is told to quit: their requests
// have not arrived, so the shutdown closes them at once instead of waiting.
class TestSlowClients : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesStayQuickAndSigtermEndsTheServer();
    void sigintEndsTheServerToo();

private:
    // Starts the stand-alone server on a free port; its port, or 0.
    int startServer(QProcess& server);
    static bool endsWithin2s(QProcess& server, int signal);

    QTemporaryDir m_home;
};

void TestSlowClients::initTestCase() {
    QVERIFY(m_home.isValid());
}

int TestSlowClients::startServer(QProcess& server) {
    return startContentServer(server, {"--data", m_home.filePath("server")}, m_home.path());
}

bool TestSlowClients::endsWithin2s(QProcess& server, int signal) {
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(server.processId()), signal);
    const bool ended = server.waitForFinished(2000);
    qInfo("signal %d to exit: %lld ms", signal, clock.elapsed());
    if (!ended) {
        server.kill();
        server.waitForFinished();
        return false;
    }
    return server.exitStatus() == QProcess::NormalExit && server.exitCode() == 0;
}

void TestSlowClients::pagesStayQuickAndSigtermEndsTheServer() {
    QProcess server;
    const int port = startServer(server);
    QVERIFY(port > 0);

    SlowLoad load(port, kSlowClients, kTrickleMs);
    load.open();
    const SlowLoad::Figures figures = load.run(kRunMs);
    qInfo("%d slow clients for %d s: %d pages, %d failed, latency p50 %.2f ms, p99 %.2f ms, "
          "max %.2f ms; slow connections cut %d times",
          kSlowClients, kRunMs / 1000, figures.pages, figures.failures, figures.p50Ms,
          figures.p99Ms, figures.maxMs, figures.cuts);
    QCOMPARE(figures.failures, 0);
    QVERIFY(figures.pages >= 100);
    QVERIFY2(figures.p99Ms < 100, "the ordinary client stalled behind the slow ones");
    // Each slow client outlives its request deadline once at least.
    QVERIFY(figures.cuts >= kSlowClients);

    // The slow clients are still connected and trickling.
    QVERIFY2(endsWithin2s(server, SIGTERM),
             "the server waited on SIGTERM for requests that had not arrived");
}

void TestSlowClients::sigintEndsTheServerToo() {
    QProcess server;
    const int port = startServer(server);
    QVERIFY(port > 0);
    SlowLoad load(port, 50, 200);
    load.open();
    QCOMPARE(load.run(1000).failures, 0);
    QVERIFY2(endsWithin2s(server, SIGINT),
             "the server waited on SIGINT for requests that had not arrived");
}

QTEST_GUILESS_MAIN(TestSlowClients)
#include "tst_slowclients.moc"
