#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The application as a user starts it: its exit status and what it says.
class TestAppProcess : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

    QString executable() const { return qEnvironmentVariable("VANTORO_BUILD_DIR") + "/vantoro"; }

    void prepare(QProcess& process) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // A home of its own, so that a run leaves nothing in the user's.
        env.insert("HOME", m_home.path());
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CACHE_HOME", m_home.filePath("cache"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::SeparateChannels);
    }

    QString writeTrace(const QByteArray& text) {
        const QString path = m_home.filePath("trace.txt");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return path;
    }

private slots:
    void badTraceExitsWithItsLineNumber_data() {
        QTest::addColumn<QByteArray>("trace");
        QTest::addColumn<QString>("where");
        QTest::newRow("bad level on line 3") << QByteArray("# blow\n0 -40\n0.5 loud\n") << ":3:";
        QTest::newRow("no levels") << QByteArray("\n") << ":1:";
    }
    void badTraceExitsWithItsLineNumber() {
        QFETCH(QByteArray, trace);
        QFETCH(QString, where);
        const QString path = writeTrace(trace);
        QProcess app;
        prepare(app);
        app.start(executable(), {"--level-trace", path});
        QVERIFY(app.waitForFinished(30000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 2);
        const QString err = QString::fromUtf8(app.readAllStandardError());
        QVERIFY2(err.contains(path + where), qPrintable(err));
    }

    void missingTraceFileExitsWithStatusTwo() {
        QProcess app;
        prepare(app);
        app.start(executable(), {"--level-trace", m_home.filePath("absent.txt")});
        QVERIFY(app.waitForFinished(30000));
        QCOMPARE(app.exitCode(), 2);
        QVERIFY(app.readAllStandardError().contains("cannot read"));
    }

    void badOptionShowsUsage() {
        QProcess app;
        prepare(app);
        app.start(executable(), {"--screen", "huge"});
        QVERIFY(app.waitForFinished(30000));
        QCOMPARE(app.exitCode(), 2);
        QVERIFY(app.readAllStandardError().contains("usage: vantoro"));
    }

    // Starts, registers, shows the first tab (its appearance event is
    // logged), and ends cleanly when asked to terminate.
    void startsAndEndsCleanly() {
        QProcess app;
        prepare(app);
        app.start(executable(), {"--level-trace", writeTrace("0 -50\n"),
                                 "wx0f9e8d7c6b5a4f3e://platformId=wechat"});
        QVERIFY(app.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += app.readAllStandardError()).contains("handleOpenURL"),
                                 30000);
        QVERIFY2(err.contains("event \"blow\""), err.constData());
        QVERIFY2(err.contains("handleOpenURL: hand-back from \"wxsession\""), err.constData());
        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(30000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAppProcess)
#include "tst_appprocess.moc"
