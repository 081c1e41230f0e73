#include "support/fakeclock.h"
#include "support/fakerecorder.h"
#include "support/installed.h"

#include <QTest>

namespace {

AudioRecorder::Factory recordersAt(float level) {
    return [level](const QString&, const QVariantMap&) {
        return std::make_shared<FakeRecorder>(std::deque<float>{level}, level);
    };
}

// The level that a recorder from the installed factory reads, or nothing
// when there is no factory.
std::optional<float> recorderLevel() {
    const auto recorder = AudioRecorder::create(QStringLiteral("voice.caf"), {});
    if (!recorder)
        return std::nullopt;
    recorder->updateMeters();
    return recorder->averagePowerForChannel(0);
}

} // namespace

// Guards put back what they found, innermost first, for objects that can be
// read back and for factories that cannot.
class TestInstalled : public QObject {
    Q_OBJECT

private slots:
    void nestedClocksComeBackInTurn() {
        FakeClock outer(1.0);
        FakeClock inner(2.0);
        {
            Installed<Clock> first(&outer);
            {
                Installed<Clock> second(&inner);
                QCOMPARE(Clock::shared().now(), 2.0);
            }
            QCOMPARE(Clock::shared().now(), 1.0);
        }
        // The real clock: well past the reference date.
        QVERIFY(Clock::shared().now() > 3.0e8);
    }

    void nestedFactoriesComeBackInTurn() {
        QCOMPARE(recorderLevel(), std::nullopt);
        {
            Installed<AudioRecorder> outer(recordersAt(-20.0f));
            {
                Installed<AudioRecorder> inner(recordersAt(-5.0f));
                QCOMPARE(recorderLevel(), -5.0f);
                {
                    Installed<AudioRecorder> none({});
                    QCOMPARE(recorderLevel(), std::nullopt);
                }
                QCOMPARE(recorderLevel(), -5.0f);
            }
            QCOMPARE(recorderLevel(), -20.0f);
        }
        QCOMPARE(recorderLevel(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestInstalled)
#include "tst_installed.moc"
