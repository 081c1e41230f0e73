// Killing the application at any moment loses none of what it saved at its
// last completed end of use: every such event reaches the collector, once,
// and the cache file is never found damaged.
#include "server/contentserver.h"
#include "support/server/storedreports.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TestAnalyticsLoss : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_data;
    ContentServer m_server;

    QString child() const {
        return qEnvironmentVariable("VANTORO_BUILD_DIR") + "/tests/analytics/analytics_child";
    }
    QString reportUrl() const { return m_server.baseUrl() + "/analytics/report"; }

    void prepare(QProcess& process) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home.path());
        env.insert("XDG_CACHE_HOME", m_home.filePath("cache"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        process.setProcessEnvironment(env);
    }

    // How many kept records name each event.
    QHash<QString, int> collected() const {
        QHash<QString, int> counts;
        for (const QByteArray& body : StoredReports(m_server).recordBodies()) {
            const QJsonObject record = QJsonDocument::fromJson(body).object();
            if (record.value("type").toString() == QLatin1String("event"))
                ++counts[record.value("event_id").toString()];
        }
        return counts;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        m_server.setDataFolder(m_data.path());
        QVERIFY(m_server.start());
    }

    void killedAtRandomMoments() {
        const int kRuns = qEnvironmentVariableIntValue("LOSS_RUNS")
                              ? qEnvironmentVariableIntValue("LOSS_RUNS")
                              : 200;
        QRandomGenerator random(20261208);
        QHash<QString, int> mustArrive; // run -> last event saved at an end of use
        int ends = 0;
        for (int run = 0; run < kRuns; ++run) {
            QProcess process;
            prepare(process);
            process.start(child(), {"log", QString::number(run), reportUrl()});
            QVERIFY(process.waitForStarted());
            QTest::qSleep(int(random.bounded(20, 400)));
            ::kill(pid_t(process.processId()), SIGKILL);
            QVERIFY(process.waitForFinished(10000));
            QCOMPARE(process.exitStatus(), QProcess::CrashExit);
            const QString err = QString::fromUtf8(process.readAllStandardError());
            QVERIFY2(!err.contains("unreadable"), qPrintable(err));
            static const QRegularExpression ended("^ended (\\d+)$",
                                                  QRegularExpression::MultilineOption);
            auto it = ended.globalMatch(QString::fromUtf8(process.readAllStandardOutput()));
            while (it.hasNext()) {
                mustArrive[QString::number(run)] = it.next().captured(1).toInt();
                ++ends;
            }
        }
        QProcess drain;
        prepare(drain);
        drain.start(child(), {"drain", reportUrl()});
        QVERIFY(drain.waitForFinished(30000));
        const QString drainErr = QString::fromUtf8(drain.readAllStandardError());
        QVERIFY2(drain.exitCode() == 0, qPrintable(drainErr));
        QVERIFY(!drainErr.contains("unreadable"));

        const QHash<QString, int> counts = collected();
        int checked = 0;
        for (auto run = mustArrive.cbegin(); run != mustArrive.cend(); ++run)
            for (int n = 1; n <= run.value(); ++n, ++checked) {
                const QString id = run.key() + "_" + QString::number(n);
                QVERIFY2(
                    counts.value(id) == 1,
                    qPrintable(QStringLiteral("%1 kept %2 times").arg(id).arg(counts.value(id))));
            }
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key() + " kept more than once"));
        qInfo("%d runs, %d completed ends of use, %d saved events checked, %d events collected",
              kRuns, ends, checked, int(counts.size()));
        QVERIFY2(checked > kRuns, "too few ends of use completed to show anything");
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsLoss)
#include "tst_analyticsloss.moc"
