#pragma once

#include <QAudioFormat>
#include <atomic>
#include <mutex>

// The microphone's meter: the average power of the first channel over the
// samples that arrived since the previous update, in dB full scale, on the
// same scale as the phone's meter (0 the loudest, -160 silence).
//
// Samples are added on the thread that reads the audio device; update() and
// averagePower() are called from the detector's loop. Time is the shared
// clock's, so that tests can feed buffers in virtual time.
class LevelMeter {
public:
    explicit LevelMeter(const QAudioFormat& format = {});

    // Only while no samples flow: before recording starts.
    void setFormat(const QAudioFormat& format);
    // Back to a meter that has heard nothing.
    void reset();

    void addSamples(const char* data, qint64 bytes);
    void update();
    float averagePower() const { return m_level; }

    // Audio arrives in periods of some tens of milliseconds, a little late
    // now and then. An input that has delivered nothing for this long has
    // stopped (a microphone unplugged, a source suspended).
    static constexpr double kStallSeconds = 0.25;

private:
    QAudioFormat m_format;
    std::atomic<float> m_level;

    std::mutex m_mutex;
    double m_sumSquares = 0.0;
    qint64 m_frames = 0;
    bool m_heardAny = false;
    double m_lastSamplesAt = 0.0;
};
