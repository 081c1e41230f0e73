#include "blow/qmxblewer.h"
#include "blow/qmxblewutil.h"
#include "platform/audio/audiosession.h"
#include "platform/system/folders.h"
#include "support/fakeclock.h"
#include "support/fakerecorder.h"
#include "support/fixedrandom.h"
#include "support/installed.h"
#include "support/manualdispatch.h"
#include "support/recordingdelegate.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <cmath>
#include <limits>

namespace {
constexpr float kQuiet = -40.0f;
constexpr float kStrong = -1.0f;
} // namespace

// Answers nothing: every call to it must be skipped.
class SilentDelegate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    int received = 0;
    void BlowAirstart(bool) { ++received; }
    void waitBlewTimeOut() { ++received; }
};

// The detector in virtual time: global-queue loops run inline inside the call
// that starts them, main-queue blocks wait until the test (or the clock's
// after-sleep hook, standing in for the GUI thread) runs them.
class TestQMXBlewer : public QObject {
    Q_OBJECT

    FakeClock m_clock;
    FixedRandom m_random;
    ManualDispatch m_dispatch;
    std::shared_ptr<FakeRecorder> m_recorder;
    int m_created = 0;
    std::deque<float> m_script;
    float m_fallback = kQuiet;
    Installed<Clock> m_installedClock{&m_clock};
    Installed<Random> m_installedRandom{&m_random};
    Installed<Dispatch> m_installedDispatch{&m_dispatch};
    Installed<AudioRecorder> m_installedRecorders{[this](const QString&, const QVariantMap&) {
        ++m_created;
        m_recorder = std::make_shared<FakeRecorder>(m_script, m_fallback);
        return m_recorder;
    }};

    // Every start gets a fresh recorder reading the current script.
    void script(std::deque<float> levels, float fallback) {
        m_script = std::move(levels);
        m_fallback = fallback;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        m_created = 0;
        m_recorder.reset();
        m_random.setValue(0);
        m_clock.setAfterSleep({});
        m_clock.setFrozen(false);
        AudioSession::sharedInstance().reset();
        m_dispatch.drainMain();
    }

    void startThreshold_data() {
        QTest::addColumn<float>("level");
        QTest::addColumn<bool>("starts");
        QTest::newRow("-10.5 waits") << -10.5f << false;
        QTest::newRow("-10.4 starts") << -10.4f << true;
    }
    void startThreshold() {
        QFETCH(float, level);
        QFETCH(bool, starts);
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({level}, kQuiet);
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(delegate.count("start"), 1);
        QCOMPARE(delegate.count("over"), starts ? 1 : 0);
        QCOMPARE(delegate.count("timeout"), starts ? 0 : 1);
        // A blow whose first blowing poll is already quiet sends no level.
        QCOMPARE(delegate.count("level"), 0);
        blewer.stopBlew();
    }

    void grading_data() {
        QTest::addColumn<float>("level");
        QTest::addColumn<bool>("isPlay");
        QTest::addColumn<int>("grade");
        const float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::newRow("0 dB") << 0.0f << false << 8;
        QTest::newRow("-2.0") << -2.0f << false << 8;
        QTest::newRow("-2.01") << -2.01f << false << 7;
        QTest::newRow("-3.0") << -3.0f << false << 7;
        QTest::newRow("-3.01") << -3.01f << false << 6;
        QTest::newRow("-5.0") << -5.0f << false << 6;
        QTest::newRow("-5.01") << -5.01f << false << 5;
        QTest::newRow("-7.0") << -7.0f << false << 5;
        QTest::newRow("-7.01") << -7.01f << false << 4;
        QTest::newRow("-12.5 lung test") << -12.5f << false << 4;
        QTest::newRow("-12.6 lung test ends") << -12.6f << false << 0;
        QTest::newRow("-12.6 smog game") << -12.6f << true << 4;
        QTest::newRow("-30.0 smog game") << -30.0f << true << 4;
        QTest::newRow("-30.1 smog game ends") << -30.1f << true << 0;
        QTest::newRow("not a number") << nan << true << 0;
        QTest::newRow("silence") << -160.0f << true << 0;
    }
    // Through the loop, not only the grading function: one strong poll
    // starts the blow, the probed level is the first blowing poll.
    void grading() {
        QFETCH(float, level);
        QFETCH(bool, isPlay);
        QFETCH(int, grade);
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        blewer.setIsPlay(isPlay);
        script({kStrong, level}, -160.0f);
        blewer.blowAirstart();
        m_dispatch.drainMain();
        const QVector<double> levels = delegate.values("level");
        QCOMPARE(levels.size(), grade == 0 ? 0 : 1);
        if (grade != 0)
            QCOMPARE(levels.first(), double(grade));
        QCOMPARE(delegate.count("over"), 1);
        QCOMPARE(QMXBlewer::blowLevel(level, isPlay ? -30.0 : -12.5), grade);
    }

    // n graded polls, each followed by a 0.02 s sleep, end with a blow time of
    // n * 0.02 + n * 0.01 s: 170 polls are 5.1 s, the 1900..2200 mL band.
    void blowTimeRule() {
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        // The GUI thread runs its queue between polls, so running totals see
        // the time of their own poll.
        m_clock.setAfterSleep([this](double) { m_dispatch.drainMain(); });
        std::deque<float> levels(171, -4.0f);
        script(levels, kQuiet);
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(delegate.count("level"), 170);
        QCOMPARE(delegate.count("total"), 170);
        const RecordingDelegate::Event over = delegate.events().last();
        QCOMPARE(over.name, QStringLiteral("over"));
        QCOMPARE(int(over.a), 1900);
        QCOMPARE(int(over.b), 31);
        // The running total of poll n is taken at (n + 1) * 0.02 + n * 0.01 s:
        // poll 99 gives 2.99 s (first band), poll 100 gives 3.02 s (second).
        const QVector<double> totals = delegate.values("total");
        QCOMPARE(int(totals[99]), 100);
        QCOMPARE(int(totals[100]), 500);
        QCOMPARE(AudioSession::sharedInstance().category(), AudioSession::Category::Playback);
        QVERIFY(!m_recorder->isRecording());
        QVERIFY(!blewer.isMonitorActive());
    }

    void timeoutOnceAndRefusesUntilStopped() {
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({}, kQuiet);
        const double before = m_clock.now();
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(delegate.count("timeout"), 1);
        QVERIFY(m_clock.now() - before > 10.0);
        QVERIFY(m_clock.now() - before < 10.2);
        // Still recording, still holding the detector.
        QVERIFY(m_recorder->isRecording());
        QVERIFY(blewer.isMonitorActive());
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(m_created, 1);
        QCOMPARE(delegate.count("timeout"), 1);
        blewer.stopBlew();
        QVERIFY(!m_recorder->isRecording());
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(m_created, 2);
        QCOMPARE(delegate.count("timeout"), 2);
        blewer.stopBlew();
    }

    void secondStartWhileActiveIsRefused() {
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({}, kQuiet);
        // Starting from inside the waiting loop's first sleep is a second
        // start while the first is active.
        bool tried = false;
        m_clock.setAfterSleep([&](double) {
            if (!tried) {
                tried = true;
                blewer.blowAirstart();
            }
        });
        blewer.blowAirstart();
        QVERIFY(tried);
        QCOMPARE(m_created, 1);
        QCOMPARE(delegate.count("start"), 1);
        blewer.stopBlew();
    }

    void stopDuringBlowGivesNoEnd() {
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({kStrong}, -4.0f);
        const int sleepsBefore = m_clock.sleeps();
        m_clock.setAfterSleep([&, sleepsBefore](double) {
            if (m_clock.sleeps() - sleepsBefore == 5)
                blewer.stopBlew();
        });
        blewer.blowAirstart();
        m_dispatch.drainMain();
        // Five polls were graded before the stop; their levels still arrive.
        QCOMPARE(delegate.count("level"), 5);
        QCOMPARE(delegate.count("over"), 0);
        QVERIFY(!blewer.isMonitorActive());
        QCOMPARE(AudioSession::sharedInstance().category(), AudioSession::Category::Playback);
        // Startable again; this blow is stopped at its first sleep.
        m_clock.setAfterSleep([&](double) { blewer.stopBlew(); });
        blewer.blowAirstart();
        QCOMPARE(m_created, 2);
        QCOMPARE(delegate.count("start"), 2);
    }

    // The loop has seen the end of the blow, the end block is queued, and the
    // user stops before the GUI thread runs it: no result.
    void stopBeforeQueuedEndGivesNoEnd() {
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({kStrong, -4.0f}, kQuiet);
        blewer.blowAirstart();
        QVERIFY(m_dispatch.pendingMain() >= 2);
        blewer.stopBlew();
        m_dispatch.drainMain();
        QCOMPARE(delegate.count("level"), 1);
        QCOMPARE(delegate.count("over"), 0);
    }

    void silentDelegateReceivesNothing() {
        QMXBlewer blewer;
        SilentDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({kStrong, kStrong}, kQuiet);
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(delegate.received, 0);
        // Recording, but nobody asked for a waiting phase.
        QVERIFY(m_recorder->isRecording());
        QVERIFY(!m_recorder->meteringEnabled());
        QCOMPARE(m_recorder->meterUpdates(), 0);
        QVERIFY(!blewer.isMonitorActive());
        blewer.stopBlew();
        QVERIFY(!m_recorder->isRecording());
    }

    // A screen destroyed in the middle of a test is never called, and with
    // nobody left to call stopBlew the detector lets go of the microphone by
    // itself, at the end of the blow or at the timeout, and takes the next
    // start.
    void destroyedDelegateIsNotCalled_data() {
        QTest::addColumn<bool>("blows");
        QTest::newRow("blow ends") << true;
        QTest::newRow("wait times out") << false;
    }
    void destroyedDelegateIsNotCalled() {
        QFETCH(bool, blows);
        QMXBlewer blewer;
        auto* delegate = new RecordingDelegate;
        blewer.setBlewdelegate(delegate);
        script(blows ? std::deque<float>{kStrong, -4.0f} : std::deque<float>{}, kQuiet);
        blewer.blowAirstart();
        QCOMPARE(delegate->count("start"), 1);
        QVERIFY(blewer.isMonitorActive());
        delete delegate;
        m_dispatch.drainMain();
        QCOMPARE(blewer.Blewdelegate(), nullptr);
        QVERIFY(!m_recorder->isRecording());
        QVERIFY(!blewer.isMonitorActive());
        QCOMPARE(AudioSession::sharedInstance().category(), AudioSession::Category::Playback);

        RecordingDelegate next;
        blewer.setBlewdelegate(&next);
        script({kStrong, -4.0f}, kQuiet);
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(m_created, 2);
        QCOMPARE(next.count("over"), 1);
    }

    void recorderFailures() {
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        Installed<AudioRecorder> failing([this](const QString&, const QVariantMap&) {
            ++m_created;
            m_recorder = std::make_shared<FakeRecorder>(std::deque<float>{}, kQuiet);
            m_recorder->setPrepares(m_created != 1);
            m_recorder->setRecords(m_created != 2);
            return m_recorder;
        });
        // Cannot prepare: silent end, and the session stays in record-and-play.
        blewer.blowAirstart();
        QCOMPARE(delegate.count("start"), 0);
        QVERIFY(!blewer.isMonitorActive());
        QCOMPARE(AudioSession::sharedInstance().category(), AudioSession::Category::PlayAndRecord);
        // Cannot record: the delegate hears NO and nothing is monitored.
        blewer.blowAirstart();
        QCOMPARE(delegate.events().size(), 1);
        QCOMPARE(delegate.events().first().a, 0.0);
        QCOMPARE(m_recorder->meterUpdates(), 0);
        QVERIFY(!blewer.isMonitorActive());
    }

    void noRecorderAtAll() {
        Installed<AudioRecorder> none({});
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        blewer.blowAirstart();
        QVERIFY(delegate.events().isEmpty());
        QVERIFY(!blewer.isMonitorActive());
    }

    void interruptStopsThenTells() {
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({}, kQuiet);
        m_clock.setAfterSleep([&](double) {
            if (blewer.isMonitorActive())
                blewer.interrupt();
        });
        blewer.blowAirstart();
        m_dispatch.drainMain();
        QCOMPARE(delegate.count("interrupt"), 1);
        QCOMPARE(delegate.count("timeout"), 0);
        QVERIFY(!m_recorder->isRecording());
    }

    void recordingFileAndSession() {
        QMXBlewer blewer;
        const QString path = Folders::documents() + QStringLiteral("/voice.caf");
        QCOMPARE(blewer.fileUrl(), path);
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(QFileInfo(path).size(), 0);
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({}, kQuiet);
        bool checked = false;
        m_clock.setAfterSleep([&](double) {
            if (checked)
                return;
            checked = true;
            // The start deleted the file for the new recorder to write.
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(AudioSession::sharedInstance().category(),
                     AudioSession::Category::PlayAndRecord);
            QVERIFY(AudioSession::sharedInstance().isActive());
            QVERIFY(blewer.isRecordingState());
            blewer.stopBlew();
        });
        blewer.blowAirstart();
        QVERIFY(checked);
        QVERIFY(!blewer.isRecordingState());
    }

    // With real threads a stop races with the loop that is still winding
    // down. Whatever the interleaving, after the stop the detector must take
    // the next start.
    void stopNeverLeavesItUnstartable() {
        Installed<Dispatch> realQueues(nullptr);
        m_clock.setFrozen(true);
        QMXBlewer blewer;
        RecordingDelegate delegate;
        blewer.setBlewdelegate(&delegate);
        script({}, kQuiet);
        for (int i = 0; i < 500; ++i) {
            const int created = m_created;
            blewer.blowAirstart();
            QCOMPARE(m_created, created + 1);
            QVERIFY(blewer.isMonitorActive());
            QThread::usleep(20 + i % 7 * 30);
            blewer.stopBlew();
            QVERIFY(!blewer.isMonitorActive());
        }
        m_clock.setFrozen(false);
    }
};

QTEST_GUILESS_MAIN(TestQMXBlewer)
#include "tst_qmxblewer.moc"
