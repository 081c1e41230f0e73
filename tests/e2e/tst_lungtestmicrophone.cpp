#include "blow/qmxblewutil.h"
#include "e2e/launchedapp.h"
#include "platform/audio/audiodevicesmodule.h"
#include "platform/audio/leveltrace.h"
#include "screens/lungtest/blewtestviewcontroller.h"
#include "support/fixedrandom.h"
#include "support/installed.h"
#include "support/noiseplayer.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace {

// Long enough that a blow which ends at once cannot pass for a real one: the
// blow time of the shortest real blow clears the 3 s of the first band.
constexpr double kNoiseSeconds = 2.5;
// Uniform noise of this amplitude reads at about -6 dBFS, well above the
// start and continuation thresholds.
constexpr double kNoiseAmplitude = 0.9;
constexpr int kTests = 20;
// Now and then the GUI thread is busy in the middle of a blow, as when the
// media framework loads for the blow effect on a cold cache; the microphone
// must be heard all the same.
constexpr int kBusyEvery = 4;
constexpr int kBusyAfterMs = 1000;
constexpr int kBusyMs = 400;

// The blowing phase is the noise as the detector hears it. It begins at the
// first waiting poll that averages enough noise (up to a 0.1 s poll and an
// audio period late) and ends at the first blowing poll after the last
// period of noise (up to a period and the sound server's latency late), so
// it is the noise's length give or take a little: 2.31 to 2.60 s for 2.5 s
// of noise here. Each 20 ms poll adds 0.01 s to the blow time: 1.5 times
// the phase, a little less when polls take longer than their sleep.
constexpr double kPhaseShortBy = 0.25;
constexpr double kPhaseLongBy = 0.25;
constexpr double kMinFactor = 1.4;
constexpr double kMaxFactor = 1.5;

// The lowest and highest capacity that the formula gives for a blow time.
std::pair<int, int> capacityRange(double blowTime) {
    FixedRandom random;
    Installed<Random> installed(&random);
    int low = 6000;
    int high = 0;
    // No band has more than 501 values.
    for (quint32 r = 0; r <= 501; ++r) {
        random.setValue(r);
        const int capacity = QMXBlewUtil::getTotalAirByTime(blowTime);
        low = std::min(low, capacity);
        high = std::max(high, capacity);
    }
    return {low, high};
}

QString audioUnavailable() {
    AudioDevices* devices = AudioDevicesModule::devices();
    if (!devices)
        return QStringLiteral("no audio devices module");
    if (!devices->hasAudioInput())
        return QStringLiteral("no default audio input");
    return NoisePlayer::virtualMicrophoneUnavailable();
}

} // namespace

// Lung tests in a row through the whole application on the real microphone
// path: tap the start button, play noise into the virtual microphone, read
// the card, dismiss it; in every fourth, the GUI thread is busy for a while
// in the middle of the blow. Every card must fall in the band that the length of
// the noise implies; a blow that ends at once or outlasts the noise does
// not. The levels of every blow are recorded (--record-levels), so that a
// failing one can be replayed.
class TestLungTestMicrophone : public QObject {
    Q_OBJECT

    LaunchedApp m_app;
    QString m_levels;
    NoisePlayer m_noise;

    BlewTestViewController* screen() const { return m_app.screen<BlewTestViewController>(0); }

    // The level file written for the latest blow.
    QString latestLevels() const {
        const QStringList files = QDir(m_levels).entryList({QStringLiteral("*.txt")}, QDir::Files,
                                                           QDir::Name | QDir::Reversed);
        return files.isEmpty() ? QString() : QDir(m_levels).filePath(files.first());
    }

private slots:
    void initTestCase() {
        const QString missing = audioUnavailable();
        if (!missing.isEmpty()) {
            if (qEnvironmentVariableIntValue("VANTORO_REQUIRE_AUDIO") == 1)
                QFAIL(qPrintable(
                    QStringLiteral("audio is required (VANTORO_REQUIRE_AUDIO=1) but ") + missing));
            QSKIP(qPrintable(missing));
        }
        QVERIFY(m_noise.generate(kNoiseSeconds, kNoiseAmplitude));
        QVERIFY2(m_noise.keepMicrophoneAwake(), "parec would not start");
        // Kept with the artifacts when there are any, so that a failed blow
        // can be replayed.
        m_levels = m_app.artifacts() + QStringLiteral("/lungtest-microphone-levels");
        QDir(m_levels).removeRecursively();
        QString error;
        QVERIFY2(m_app.launch({QStringLiteral("--record-levels"), m_levels}, &error),
                 qPrintable(error));
        QVERIFY(QTest::qWaitForWindowExposed(m_app.window()));
    }

    void cleanupTestCase() {
        m_noise.stop();
        m_app.quit();
    }

    void blowsInARow() {
        const int low = capacityRange(kMinFactor * (kNoiseSeconds - kPhaseShortBy)).first;
        const int high = capacityRange(kMaxFactor * (kNoiseSeconds + kPhaseLongBy)).second;
        QList<int> capacities;
        for (int test = 1; test <= kTests; ++test) {
            QVERIFY(!screen()->popView());
            QTest::mouseClick(screen()->startBlewBtn(), Qt::LeftButton);
            QVERIFY2(m_noise.play(), "paplay would not start");
            if (test % kBusyEvery == 0)
                QTimer::singleShot(kBusyAfterMs, [] { QThread::msleep(kBusyMs); });
            QTRY_VERIFY_WITH_TIMEOUT(screen()->popView(), 12000);
            const int capacity = screen()->totalAir();
            capacities.append(capacity);
            QVERIFY2(capacity >= low && capacity <= high,
                     qPrintable(QStringLiteral("test %1 of %2: %3 mL, outside %4..%5 mL for %6 s "
                                               "of noise; all so far %7; its levels: %8")
                                    .arg(test)
                                    .arg(kTests)
                                    .arg(capacity)
                                    .arg(low)
                                    .arg(high)
                                    .arg(kNoiseSeconds)
                                    .arg(capacitiesText(capacities), latestLevels())));
            QTest::mouseClick(screen()->popView(), Qt::LeftButton, {}, QPoint(5, 5));
            QTRY_VERIFY(!screen()->popView());
            // The next blow must not hear the tail of this one's noise.
            QTRY_VERIFY_WITH_TIMEOUT(!m_noise.isPlaying(), 3000);
            QTest::qWait(300);
        }
        qInfo("%d lung tests on %.1f s of noise, band %d..%d mL: %s", kTests, kNoiseSeconds, low,
              high, qPrintable(capacitiesText(capacities)));

        // Every start on the microphone left its levels behind, in a form
        // the application replays.
        const QStringList files = QDir(m_levels).entryList(QDir::Files);
        QCOMPARE(files.size(), kTests);
        for (const QString& file : files) {
            LevelTrace::ParseError error;
            const auto trace = LevelTrace::load(QDir(m_levels).filePath(file), &error);
            QVERIFY2(trace, qPrintable(file + QStringLiteral(": ") + error.message));
            QVERIFY(trace->duration() > kNoiseSeconds);
        }
    }

private:
    static QString capacitiesText(const QList<int>& capacities) {
        QStringList text;
        for (int c : capacities)
            text << QString::number(c);
        return text.join(u' ');
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_SCALE_FACTOR", "2");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Vantoro"));
    TestLungTestMicrophone test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lungtestmicrophone.moc"
