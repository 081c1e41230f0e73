#include "server/store/sqlitereportstore.h"
#include "support/server/storedreports.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
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

    // Every record the embedded content server has collected so far.
    QList<QJsonObject> collectedRecords() const {
        QList<QJsonObject> records;
        QDirIterator it(m_home.path(), {"reports.sqlite"}, QDir::Files,
                        QDirIterator::Subdirectories);
        SqliteReportStore store;
        QString error;
        if (!it.hasNext() || !store.open(it.next(), &error))
            return records;
        for (const QByteArray& body : StoredReports(store).recordBodies())
            records.append(QJsonDocument::fromJson(body).object());
        return records;
    }

    // Starts the application and waits until its log has said `what`.
    QByteArray startUntil(QProcess& app, const QByteArray& what) {
        prepare(app);
        app.start(executable(), {"--level-trace", writeTrace("0 -50\n")});
        if (!app.waitForStarted())
            return {};
        QByteArray err;
        QDeadlineTimer deadline(30000);
        while (!err.contains(what) && !deadline.hasExpired() && app.state() == QProcess::Running) {
            app.waitForReadyRead(200);
            err += app.readAllStandardError();
        }
        return err;
    }

    static bool terminate(QProcess& app) {
        // A process that has ended has no id: kill(0) would end this test's
        // whole process group.
        if (app.state() != QProcess::Running)
            return false;
        ::kill(pid_t(app.processId()), SIGTERM);
        return app.waitForFinished(30000) && app.exitStatus() == QProcess::NormalExit &&
               app.exitCode() == 0;
    }

    static QString buildId(const QString& binary) {
        QProcess readelf;
        readelf.start("readelf", {"-n", binary});
        readelf.waitForFinished();
        const auto match = QRegularExpression("Build ID: ([0-9a-f]{32})")
                               .match(QString::fromLatin1(readelf.readAllStandardOutput()));
        return match.captured(1).toUpper();
    }

private slots:
    void badTraceExitsWithItsLineNumber_data() {
        QTest::addColumn<QByteArray>("trace");
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("display");
        const QByteArray badLevel("# blow\n0 -40\n0.5 loud\n");
        QTest::newRow("bad level on line 3") << badLevel << ":3:" << true;
        QTest::newRow("no levels") << QByteArray("\n") << ":1:" << true;
        // The trace is the user's mistake, not the missing display's.
        QTest::newRow("no display") << badLevel << ":3:" << false;
        QTest::newRow("beyond a float, no display") << QByteArray("0 -1e39\n") << ":1:" << false;
    }
    void badTraceExitsWithItsLineNumber() {
        QFETCH(QByteArray, trace);
        QFETCH(QString, where);
        QFETCH(bool, display);
        const QString path = writeTrace(trace);
        QProcess app;
        prepare(app);
        if (!display) {
            QProcessEnvironment env = app.processEnvironment();
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
            env.insert("QT_QPA_PLATFORM", "xcb");
            app.setProcessEnvironment(env);
        }
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
        QVERIFY(terminate(app));
    }

    // The first tab's appearance event travels to the embedded collector.
    void eventsReachTheEmbeddedCollector() {
        QProcess app;
        const QByteArray err = startUntil(app, "analytics report sent");
        QVERIFY2(err.contains("analytics report sent"), err.constData());
        QVERIFY(terminate(app));
        QStringList events;
        for (const QJsonObject& record : collectedRecords())
            if (record.value("type").toString() == "event")
                events.append(record.value("event_id").toString());
        QVERIFY2(events.contains("blow"), qPrintable(events.join(',')));
    }

    // Killed by a fatal signal, the application says so at its next start,
    // naming the build that crashed.
    void aCrashIsReportedAtTheNextStart() {
        QProcess crashing;
        QByteArray err = startUntil(crashing, "crash capture installed");
        QVERIFY2(err.contains("crash capture installed"), err.constData());
        ::kill(pid_t(crashing.processId()), SIGSEGV);
        QVERIFY(crashing.waitForFinished(30000));
        QCOMPARE(crashing.exitStatus(), QProcess::CrashExit);
        QCOMPARE(crashing.exitCode(), SIGSEGV);

        QProcess next;
        err = startUntil(next, "analytics report sent");
        QVERIFY2(terminate(next), err.constData());
        QList<QJsonObject> errors;
        for (const QJsonObject& record : collectedRecords())
            if (record.value("type").toString() == "error")
                errors.append(record);
        QCOMPARE(errors.size(), 1);
        const QString context = errors.first().value("context").toString();
        QVERIFY2(context.startsWith("Application received signal SIGSEGV\n(null)\n(\n"),
                 qPrintable(context));
        const QString uuid = buildId(executable());
        QCOMPARE(uuid.size(), 32);
        QVERIFY2(context.contains("\n\ndSYM UUID: " + uuid.left(8) + "-" + uuid.mid(8, 4)),
                 qPrintable(context));
        QVERIFY2(context.contains("\nBinary Image: vantoro\n"), qPrintable(context));
    }
};

QTEST_GUILESS_MAIN(TestAppProcess)
#include "tst_appprocess.moc"
