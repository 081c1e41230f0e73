#include "platform/audio/leveltrace.h"
#include "platform/audio/tracerecorder.h"
#include "support/fakeclock.h"
#include "support/installed.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestLevelTrace : public QObject {
    Q_OBJECT

private slots:
    void rejectsWithLineNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::newRow("one field") << "0 -40\n0.5\n" << 2 << "expected";
        QTest::newRow("three fields") << "# header\n\n0 -40 7\n" << 3 << "expected";
        QTest::newRow("bad time") << "x -40\n" << 1 << "bad time";
        QTest::newRow("negative time") << "-1 -40\n" << 1 << "bad time";
        QTest::newRow("bad level") << "0 -40\n1 loud\n" << 2 << "bad level";
        QTest::newRow("infinite level") << "0 inf\n" << 1 << "bad level";
        // Finite as a double, infinite as the float the meter reads.
        QTest::newRow("level beyond a float") << "0 -40\n1 -1e39\n" << 2 << "bad level";
        QTest::newRow("time goes back") << "0 -40\n2 -3\n1 -50\n" << 3 << "goes back";
        QTest::newRow("empty") << "# nothing\n\n" << 2 << "no levels";
    }
    void rejectsWithLineNumber() {
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(QString, message);
        LevelTrace::ParseError error;
        QVERIFY(!LevelTrace::parse(text, &error));
        QCOMPARE(error.line, line);
        QVERIFY2(error.message.contains(message), qPrintable(error.message));
    }

    // An error quotes a bounded, printable piece of the line, however long or
    // strange the line is.
    void errorsQuoteLittleAndNoControlCharacters() {
        const QString huge = QStringLiteral("0 \x1b[2J") + QString(5'000'000, u'9');
        LevelTrace::ParseError error;
        QVERIFY(!LevelTrace::parse(huge, &error));
        QCOMPARE(error.line, 1);
        QVERIFY2(error.message.size() < 200, qPrintable(error.message.left(300)));
        QVERIFY(!error.message.contains(QChar(0x1b)));
        QVERIFY2(error.message.contains(QStringLiteral("\\x1b[2J999")), qPrintable(error.message));
        QVERIFY2(error.message.contains(QStringLiteral("5000004 characters")),
                 qPrintable(error.message));

        QVERIFY(!LevelTrace::parse(u"0 -40 \x07"
                                   u"bell\n",
                                   &error));
        QVERIFY2(error.message.contains(QStringLiteral("\"0 -40 \\x07bell\"")),
                 qPrintable(error.message));
    }

    void unreadableFile() {
        LevelTrace::ParseError error;
        QVERIFY(!LevelTrace::load(QStringLiteral("/nonexistent/trace.txt"), &error));
        QCOMPARE(error.line, 0);
        QVERIFY(error.message.startsWith(QStringLiteral("cannot read")));
    }

    void levelsInTime() {
        LevelTrace::ParseError error;
        const auto trace =
            LevelTrace::parse(u"# a blow\n0.5 -40\n1.0 -3.5\r\n1.0 -2\n2.0 nan\n3 -50\n", &error);
        QVERIFY(trace);
        QCOMPARE(trace->levelAt(0.0), AudioRecorder::kSilenceDb);
        QCOMPARE(trace->levelAt(0.5), -40.0f);
        QCOMPARE(trace->levelAt(0.99), -40.0f);
        // Two points at one time: the later line wins.
        QCOMPARE(trace->levelAt(1.0), -2.0f);
        QVERIFY(std::isnan(trace->levelAt(2.5)));
        QCOMPARE(trace->levelAt(100.0), -50.0f);
        QCOMPARE(trace->duration(), 3.0);
    }

    void recorderReplaysAgainstTheClock() {
        FakeClock clock;
        Installed<Clock> installed(&clock);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("voice.caf"));
        TraceRecorder recorder(*LevelTrace::parse(u"0 -40\n1 -5\n", nullptr), file);
        QVERIFY(recorder.prepareToRecord());
        QVERIFY(recorder.record());
        QVERIFY(QFileInfo::exists(file));
        // Metering off: the meter reads silence.
        recorder.updateMeters();
        QCOMPARE(recorder.averagePowerForChannel(0), AudioRecorder::kSilenceDb);
        recorder.setMeteringEnabled(true);
        recorder.updateMeters();
        QCOMPARE(recorder.averagePowerForChannel(0), -40.0f);
        clock.advance(1.5);
        // The reading changes only with updateMeters.
        QCOMPARE(recorder.averagePowerForChannel(0), -40.0f);
        recorder.updateMeters();
        QCOMPARE(recorder.averagePowerForChannel(0), -5.0f);
        recorder.stop();
        QVERIFY(!recorder.isRecording());
    }
};

QTEST_GUILESS_MAIN(TestLevelTrace)
#include "tst_leveltrace.moc"
