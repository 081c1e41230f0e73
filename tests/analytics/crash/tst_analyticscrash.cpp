#include "analytics/crash/analyticscrash.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

// Whole crashes of a child process, read back the way the next launch reads
// them.
class TestAnalyticsCrash : public QObject {
    Q_OBJECT

    QString m_buildId;

    static QString child() { return QStringLiteral(CRASH_CHILD); }

    static pid_t spawn(const QString& folder, const QByteArray& mode) {
        QByteArray program = QFile::encodeName(child());
        QByteArray dir = QFile::encodeName(folder);
        QByteArray modeArg = mode;
        char* argv[] = {program.data(), dir.data(), modeArg.data(), nullptr};
        pid_t pid = -1;
        return posix_spawn(&pid, program.constData(), nullptr, nullptr, argv, environ) == 0 ? pid
                                                                                            : -1;
    }

    // The wait status, or -1 if the child is still running after 10 s (it is
    // then killed): a handler that hangs must fail the test, not stall it.
    static int waitFor(pid_t pid) {
        QElapsedTimer timer;
        timer.start();
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (timer.hasExpired(10000)) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            QTest::qSleep(2);
        }
        return status;
    }

    static int run(const QString& folder, const QByteArray& mode) {
        const pid_t pid = spawn(folder, mode);
        return pid > 0 ? waitFor(pid) : -1;
    }

    static QList<AnalyticsCrash::Report> take(const QString& folder) {
        return AnalyticsCrash::takePendingReports(folder, QCoreApplication::applicationPid());
    }

    static QStringList filesIn(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden);
    }

    static QString expectedArch() {
#if defined(__x86_64__)
        return QStringLiteral("x86_64");
#elif defined(__aarch64__)
        return QStringLiteral("arm64");
#elif defined(__i386__)
        return QStringLiteral("i386");
#elif defined(__arm__)
        return QStringLiteral("armv7");
#else
        return QStringLiteral("???");
#endif
    }

private slots:
    void initTestCase() {
        QProcess readelf;
        readelf.start(QStringLiteral("readelf"), {QStringLiteral("-n"), child()});
        QVERIFY2(readelf.waitForFinished(10000), "readelf did not run");
        const auto match = QRegularExpression(QStringLiteral("Build ID: ([0-9a-fA-F]+)"))
                               .match(QString::fromLatin1(readelf.readAllStandardOutput()));
        QVERIFY2(match.hasMatch(), "the crash child has no build id");
        m_buildId = match.captured(1).left(32).toUpper();
        QCOMPARE(m_buildId.size(), 32);
    }

    void crashBecomesOneReport_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("reason");
        const QString received = QStringLiteral("Application received signal ");
        QTest::newRow("null write") << QByteArray("segv") << SIGSEGV << received + "SIGSEGV";
        QTest::newRow("null write on a worker thread")
            << QByteArray("segv-thread") << SIGSEGV << received + "SIGSEGV";
        QTest::newRow("stack overflow")
            << QByteArray("overflow") << SIGSEGV << received + "SIGSEGV";
        QTest::newRow("divide by zero") << QByteArray("fpe") << SIGFPE << received + "SIGFPE";
        QTest::newRow("illegal instruction") << QByteArray("ill") << SIGILL << received + "SIGILL";
        QTest::newRow("abort") << QByteArray("abrt") << SIGABRT << received + "SIGABRT";
        QTest::newRow("truncated mapping") << QByteArray("bus") << SIGBUS << received + "SIGBUS";
        QTest::newRow("uncaught std::exception")
            << QByteArray("exception") << SIGABRT << QStringLiteral("crash child threw on purpose");
        QTest::newRow("uncaught exception on a worker thread")
            << QByteArray("exception-thread") << SIGABRT << QStringLiteral("worker thread threw");
        QTest::newRow("uncaught int")
            << QByteArray("throw-int") << SIGABRT << QStringLiteral("unknown exception");
    }
    void crashBecomesOneReport() {
        QFETCH(QByteArray, mode);
        QFETCH(int, signal);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const int status = run(dir.path(), mode);
        QVERIFY2(status != -1, "the child did not end");
        QVERIFY2(WIFSIGNALED(status),
                 qPrintable(QString("exit status %1").arg(WEXITSTATUS(status))));
        QCOMPARE(WTERMSIG(status), signal);

        const QList<AnalyticsCrash::Report> reports = take(dir.path());
        QCOMPARE(reports.size(), 1);
        const AnalyticsCrash::Report& report = reports.first();
        const QStringList lines = report.crashText.split('\n');
        QVERIFY2(lines.size() >= 5, qPrintable(report.crashText));
        QCOMPARE(lines[0], reason);
        QCOMPARE(lines[1], QStringLiteral("(null)"));
        QCOMPARE(lines[2], QStringLiteral("("));
        QCOMPARE(lines.last(), QStringLiteral(")"));
        const QStringList frames = lines.mid(3, lines.size() - 4);
        for (qsizetype i = 0; i < frames.size(); ++i) {
            QVERIFY2(frames[i].startsWith("    "), qPrintable(frames[i]));
            QCOMPARE(frames[i].endsWith(','), i + 1 < frames.size());
        }
        QVERIFY2(report.crashText.contains("analytics_crashchild("), qPrintable(report.crashText));

        QCOMPARE(report.imageInfo.value("binary_uuid").toString().remove('-').toUpper(), m_buildId);
        QCOMPARE(report.imageInfo.value("image_name").toString(),
                 QStringLiteral("analytics_crashchild"));
        QCOMPARE(report.imageInfo.value("cpu_arch").toString(), expectedArch());
        QCOMPARE(report.appVersion, QStringLiteral("2.5.1"));

        QVERIFY(take(dir.path()).isEmpty());
        QCOMPARE(filesIn(dir.path()), QStringList());
    }

    void normalEndLeavesNoReport() {
        QTemporaryDir dir;
        QCOMPARE(run(dir.path(), "exit"), 0);
        QCOMPARE(filesIn(dir.path()), QStringList());

        QCOMPARE(run(dir.path(), "exit-keep"), 0);
        QCOMPARE(filesIn(dir.path()).size(), 1);
        QVERIFY(take(dir.path()).isEmpty());
        QCOMPARE(filesIn(dir.path()), QStringList());
    }

    // A running process's file is not touched; once it is killed, its file
    // goes without a report.
    void runningThenKilledLeavesNoReport() {
        QTemporaryDir dir;
        const pid_t pid = spawn(dir.path(), "wait");
        QVERIFY(pid > 0);
        QElapsedTimer timer;
        timer.start();
        while (filesIn(dir.path()).isEmpty() && !timer.hasExpired(5000))
            QTest::qSleep(5);
        const QStringList files = filesIn(dir.path());
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().contains(QString::number(pid)));

        QVERIFY(take(dir.path()).isEmpty());
        QCOMPARE(filesIn(dir.path()), files);

        kill(pid, SIGKILL);
        const int status = waitFor(pid);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY(take(dir.path()).isEmpty());
        QCOMPARE(filesIn(dir.path()), QStringList());
    }

    void leftoverFileIsDeleted_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("logged");
        QTest::newRow("not JSON") << QByteArray("garbage\nApplication received signal SIGSEGV")
                                  << true;
        QTest::newRow("no image") << QByteArray("{\"appVersion\":\"1.0\",\"pid\":7}\n") << true;
        // A process killed before its header was complete never had handlers:
        // nothing went wrong that is worth a log line.
        QTest::newRow("header cut short") << QByteArray("{\"appVersion\":\"1.0\",\"ima") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void leftoverFileIsDeleted() {
        QFETCH(QByteArray, content);
        QFETCH(bool, logged);
        QTemporaryDir dir;
        // An id above any the kernel hands out: that process is not running.
        const QString garbled = QStringLiteral("crash-1700000000000-2147483000.log");
        const QString own =
            QStringLiteral("crash-1700000000000-%1.log").arg(QCoreApplication::applicationPid());
        for (const QString& name : {garbled, own, QStringLiteral("notes.txt")}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        if (logged)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QRegularExpression::escape(garbled)));
        else
            QTest::failOnWarning(QRegularExpression("crash"));
        QVERIFY(take(dir.path()).isEmpty());
        // This process's own file and files that are not crash files stay.
        QCOMPARE(filesIn(dir.path()), QStringList({own, QStringLiteral("notes.txt")}));
    }

    void installFailsWhereNoFileCanBeWritten() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("crash capture not installed"));
        QVERIFY(!AnalyticsCrash::sharedInstance().installUncaughtExceptionHandler(
            blocker.fileName() + "/crashes", "1.0"));
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsCrash)
#include "tst_analyticscrash.moc"
