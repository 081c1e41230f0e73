#include "support/server/slowload.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The application serves its pages from an embedded content server: slow
// clients on that server must not keep the application from quitting.
class TestAppSlowClients : public QObject {
    Q_OBJECT

private slots:
    void sigtermEndsTheApplicationUnderSlowClients();

private:
    // The port the embedded server reports in the log, or 0.
    int waitForServerPort(QProcess& app) const;

    QTemporaryDir m_home;
};

int TestAppSlowClients::waitForServerPort(QProcess& app) const {
    static const QRegularExpression line("content server at \"?http://127\\.0\\.0\\.1:(\\d+)");
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && app.state() == QProcess::Running) {
        QFile log(m_home.filePath("app.log"));
        if (log.open(QIODevice::ReadOnly)) {
            const auto match = line.match(QString::fromUtf8(log.readAll()));
            if (match.hasMatch())
                return match.captured(1).toInt();
        }
        app.waitForFinished(200);
    }
    return 0;
}

void TestAppSlowClients::sigtermEndsTheApplicationUnderSlowClients() {
    QVERIFY(m_home.isValid());
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A home of its own, so that a run leaves nothing in the user's.
    env.insert("HOME", m_home.path());
    env.insert("XDG_DATA_HOME", m_home.filePath("data"));
    env.insert("XDG_CACHE_HOME", m_home.filePath("cache"));
    env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
    app.setProcessEnvironment(env);
    // A file, not a pipe: the server logs a line per request.
    app.setStandardErrorFile(m_home.filePath("app.log"));
    app.setStandardOutputFile(QProcess::nullDevice());
    app.start(qEnvironmentVariable("VANTORO_BUILD_DIR") + "/vantoro");
    QVERIFY(app.waitForStarted());
    const int port = waitForServerPort(app);
    QVERIFY2(port > 0, "the application did not say where its content server is");

    SlowLoad load(port, 200, 2000);
    load.open();
    const SlowLoad::Figures figures = load.run(5000);
    qInfo("embedded server under 200 slow clients: %d pages, %d failed, p99 %.2f ms", figures.pages,
          figures.failures, figures.p99Ms);
    QCOMPARE(figures.failures, 0);

    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(app.processId()), SIGTERM);
    const bool ended = app.waitForFinished(2000);
    qInfo("SIGTERM to exit: %lld ms", clock.elapsed());
    if (!ended) {
        app.kill();
        app.waitForFinished();
    }
    QVERIFY2(ended, "the application did not exit within 2 s of SIGTERM");
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestAppSlowClients)
#include "tst_appslowclients.moc"
