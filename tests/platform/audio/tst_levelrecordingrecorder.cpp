#include "platform/audio/levelrecordingrecorder.h"
#include "platform/audio/leveltrace.h"
#include "platform/audio/tracerecorder.h"
#include "support/fakeclock.h"
#include "support/fakerecorder.h"
#include "support/installed.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>

// The levels a recorder's meter gave, written while it records, in virtual
// time: what --record-levels keeps of a blow on the microphone, and what
// --level-trace must give back.
class TestLevelRecordingRecorder : public QObject {
    Q_OBJECT

    FakeClock m_clock;
    Installed<Clock> m_installedClock{&m_clock};

    // Levels as the detector polls them: one every `step` seconds.
    static QList<float> poll(AudioRecorder& recorder, FakeClock& clock, int count, double step) {
        QList<float> levels;
        for (int i = 0; i < count; ++i) {
            recorder.updateMeters();
            levels.append(recorder.averagePowerForChannel(0));
            clock.advance(step);
        }
        return levels;
    }

    static bool sameLevel(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

private slots:
    // A recording's file loads as a level trace, and replaying it at the
    // moments of the original polls gives the very levels the meter gave,
    // the unreadable one included.
    void recordingReplaysExactly() {
        QTemporaryDir dir;
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const std::deque<float> script{-160.0f, -35.25f, -6.123457f, -2.0f, nan, -12.500001f};
        auto inner = std::make_shared<FakeRecorder>(script, -40.0f);
        LevelRecordingRecorder recorder(inner, dir.filePath(QStringLiteral("levels")));
        QVERIFY(recorder.prepareToRecord());
        QVERIFY(recorder.record());
        recorder.setMeteringEnabled(true);
        m_clock.advance(0.0005);
        const QList<float> polled = poll(recorder, m_clock, 8, 0.1);
        recorder.stop();
        QVERIFY(!inner->isRecording());

        LevelTrace::ParseError error;
        const auto trace = LevelTrace::load(recorder.tracePath(), &error);
        QVERIFY2(trace,
                 qPrintable(QStringLiteral("line %1: %2").arg(error.line).arg(error.message)));
        QCOMPARE(trace->points().size(), std::size_t(polled.size()));

        TraceRecorder replay(*trace, QDir(dir.path()).filePath(QStringLiteral("replay.caf")));
        QVERIFY(replay.record());
        replay.setMeteringEnabled(true);
        m_clock.advance(0.0005);
        const QList<float> replayed = poll(replay, m_clock, 8, 0.1);
        for (int i = 0; i < polled.size(); ++i)
            QVERIFY2(sameLevel(replayed[i], polled[i]),
                     qPrintable(QStringLiteral("poll %1: %2 replayed as %3")
                                    .arg(i)
                                    .arg(double(polled[i]))
                                    .arg(double(replayed[i]))));
    }

    // Every recording gets a file of its own; what is polled after a stop,
    // as a loop winding down may, belongs to no recording; a folder that
    // cannot be made costs the recording nothing but its file.
    void oneFilePerRecording() {
        QTemporaryDir dir;
        const QString levels = dir.filePath(QStringLiteral("levels"));
        auto inner = std::make_shared<FakeRecorder>(std::deque<float>{}, -20.0f);
        LevelRecordingRecorder recorder(inner, levels);
        QVERIFY(recorder.tracePath().isEmpty());
        QStringList paths;
        for (int polls : {3, 5}) {
            QVERIFY(recorder.record());
            recorder.setMeteringEnabled(true);
            poll(recorder, m_clock, polls, 0.02);
            recorder.stop();
            poll(recorder, m_clock, 2, 0.02);
            paths << recorder.tracePath();
            const auto trace = LevelTrace::load(paths.last(), nullptr);
            QVERIFY(trace);
            QCOMPARE(trace->points().size(), std::size_t(polls));
        }
        QVERIFY(paths[0] != paths[1]);
        QCOMPARE(QDir(levels).entryList(QDir::Files).size(), 2);

        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        LevelRecordingRecorder blocked(inner, blocker.fileName() + QStringLiteral("/levels"));
        QVERIFY(blocked.record());
        QCOMPARE(poll(blocked, m_clock, 1, 0.02), QList<float>{-20.0f});
        QVERIFY(blocked.tracePath().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLevelRecordingRecorder)
#include "tst_levelrecordingrecorder.moc"
