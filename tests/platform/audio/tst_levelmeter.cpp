#include "platform/audio/audiorecorder.h"
#include "platform/audio/levelmeter.h"
#include "support/fakeclock.h"
#include "support/installed.h"

#include <QTest>
#include <cmath>
#include <vector>

namespace {

QAudioFormat format(QAudioFormat::SampleFormat sampleFormat, int channels = 1) {
    QAudioFormat f;
    f.setSampleRate(8000);
    f.setChannelCount(channels);
    f.setSampleFormat(sampleFormat);
    return f;
}

// One 100 ms period of 16-bit mono audio at a constant amplitude.
QByteArray period(double amplitude, int frames = 800) {
    std::vector<qint16> samples(frames, qint16(std::lround(amplitude * 32767.0)));
    return QByteArray(reinterpret_cast<const char*>(samples.data()), frames * 2);
}

double db(double meanSquare) {
    return 10.0 * std::log10(meanSquare);
}

} // namespace

// The meter in virtual time, fed buffers as the audio thread would feed
// them: a period every 100 ms, polled by the detector every 20 ms.
class TestLevelMeter : public QObject {
    Q_OBJECT

    FakeClock m_clock;
    Installed<Clock> m_installedClock{&m_clock};

    float poll(LevelMeter& meter) {
        meter.update();
        return meter.averagePower();
    }

private slots:
    // The reading is the power of everything that arrived since the previous
    // update, whatever the number of periods; a poll with nothing new keeps
    // the last reading; the first reading after a reset is silence, not
    // what the meter heard before.
    void averagesSinceTheLastUpdate() {
        LevelMeter meter(format(QAudioFormat::Int16));
        QCOMPARE(poll(meter), AudioRecorder::kSilenceDb);
        meter.addSamples(period(0.5).constData(), 1600);
        meter.addSamples(period(0.0).constData(), 1600);
        QCOMPARE_LT(std::abs(poll(meter) - db(0.125)), 0.01);
        m_clock.advance(0.02);
        QCOMPARE_LT(std::abs(poll(meter) - db(0.125)), 0.01);
        meter.addSamples(period(0.25).constData(), 1600);
        QCOMPARE_LT(std::abs(poll(meter) - db(0.0625)), 0.01);
        meter.reset();
        QCOMPARE(poll(meter), AudioRecorder::kSilenceDb);
        meter.addSamples(period(0.0).constData(), 1600);
        QCOMPARE(poll(meter), AudioRecorder::kSilenceDb);
    }

    // Periods a little late now and then must not read as silence: a blow
    // would end in its middle. An input that delivers nothing for longer
    // than the stall time has stopped, and then the reading is silence.
    void latePeriodsHoldStalledInputIsSilence() {
        LevelMeter meter(format(QAudioFormat::Int16));
        const QByteArray loud = period(0.5);
        QList<float> readings;
        // Two seconds of 100 ms periods, each up to 80 ms late, polled
        // every 20 ms.
        double nextPeriod = 0;
        for (int step = 0; step < 100; ++step) {
            const double t = step * 0.02;
            if (t >= nextPeriod) {
                meter.addSamples(loud.constData(), loud.size());
                nextPeriod += step % 3 == 0 ? 0.18 : 0.1;
            }
            readings.append(poll(meter));
            m_clock.advance(0.02);
        }
        for (float reading : readings)
            QCOMPARE_LT(std::abs(reading - db(0.25)), 0.01);

        meter.addSamples(loud.constData(), loud.size());
        poll(meter);
        m_clock.advance(LevelMeter::kStallSeconds - 0.05);
        QCOMPARE_LT(std::abs(poll(meter) - db(0.25)), 0.01);
        m_clock.advance(0.1);
        QCOMPARE(poll(meter), AudioRecorder::kSilenceDb);
        meter.addSamples(loud.constData(), loud.size());
        QCOMPARE_LT(std::abs(poll(meter) - db(0.25)), 0.01);
    }

    // Channel 0 of every sample format Qt delivers, in dB full scale; a
    // trailing part of a frame is no sample.
    void sampleFormats_data() {
        QTest::addColumn<int>("sampleFormat");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<double>("expected");
        const auto bytes = [](auto value) {
            return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
        };
        QTest::newRow("uint8 half")
            << int(QAudioFormat::UInt8) << 1 << bytes(quint8(192)) << db(0.25);
        QTest::newRow("int16 full")
            << int(QAudioFormat::Int16) << 1 << bytes(qint16(-32768)) << 0.0;
        QTest::newRow("int32 half")
            << int(QAudioFormat::Int32) << 1 << bytes(qint32(1 << 30)) << db(0.25);
        QTest::newRow("float tenth") << int(QAudioFormat::Float) << 1 << bytes(0.1f) << -20.0;
        QTest::newRow("stereo int16, left only")
            << int(QAudioFormat::Int16) << 2 << bytes(qint16(16384)) + bytes(qint16(32767))
            << db(0.25);
    }
    void sampleFormats() {
        QFETCH(int, sampleFormat);
        QFETCH(int, channels);
        QFETCH(QByteArray, frame);
        QFETCH(double, expected);
        LevelMeter meter(format(QAudioFormat::SampleFormat(sampleFormat), channels));
        const QByteArray data = frame.repeated(10) + frame.left(frame.size() - 1);
        meter.addSamples(data.constData(), data.size());
        QCOMPARE_LT(std::abs(poll(meter) - expected), 0.01);
    }
};

QTEST_GUILESS_MAIN(TestLevelMeter)
#include "tst_levelmeter.moc"
