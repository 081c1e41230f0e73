#include "platform/audio/levelmeter.h"

#include "platform/audio/audiorecorder.h"
#include "platform/system/clock.h"

#include <algorithm>
#include <cmath>

namespace {

// One channel-0 sample of any format Qt can deliver, scaled to [-1, 1].
double sampleValue(QAudioFormat::SampleFormat format, const char* frame) {
    switch (format) {
    case QAudioFormat::UInt8:
        return (double(*reinterpret_cast<const quint8*>(frame)) - 128.0) / 128.0;
    case QAudioFormat::Int16:
        return double(*reinterpret_cast<const qint16*>(frame)) / 32768.0;
    case QAudioFormat::Int32:
        return double(*reinterpret_cast<const qint32*>(frame)) / 2147483648.0;
    case QAudioFormat::Float:
        return double(*reinterpret_cast<const float*>(frame));
    default:
        return 0.0;
    }
}

} // namespace

LevelMeter::LevelMeter(const QAudioFormat& format)
    : m_format(format), m_level(AudioRecorder::kSilenceDb) {}

void LevelMeter::setFormat(const QAudioFormat& format) {
    std::lock_guard lock(m_mutex);
    m_format = format;
}

void LevelMeter::reset() {
    std::lock_guard lock(m_mutex);
    m_sumSquares = 0;
    m_frames = 0;
    m_heardAny = false;
    m_level = AudioRecorder::kSilenceDb;
}

void LevelMeter::addSamples(const char* data, qint64 bytes) {
    int frameBytes = 0;
    QAudioFormat::SampleFormat format = QAudioFormat::Unknown;
    {
        std::lock_guard lock(m_mutex);
        frameBytes = m_format.bytesPerFrame();
        format = m_format.sampleFormat();
    }
    if (frameBytes <= 0)
        return;
    const qint64 frames = bytes / frameBytes;
    if (frames <= 0)
        return;
    double sum = 0.0;
    for (qint64 i = 0; i < frames; ++i) {
        const double v = sampleValue(format, data + i * frameBytes);
        sum += v * v;
    }
    const double now = Clock::shared().now();
    std::lock_guard lock(m_mutex);
    m_sumSquares += sum;
    m_frames += frames;
    m_heardAny = true;
    m_lastSamplesAt = now;
}

void LevelMeter::update() {
    const double now = Clock::shared().now();
    std::lock_guard lock(m_mutex);
    if (m_frames == 0) {
        // Audio arrives in periods; a poll that falls between two of them
        // keeps the last reading instead of reporting a silence that no one
        // made, which would end a blow in its middle. An input that stopped
        // delivering must not hold its last loud reading, or the blow would
        // never end.
        if (!m_heardAny || now - m_lastSamplesAt > kStallSeconds)
            m_level = AudioRecorder::kSilenceDb;
        return;
    }
    const double meanSquare = m_sumSquares / double(m_frames);
    m_level =
        meanSquare > 0
            ? float(std::max(10.0 * std::log10(meanSquare), double(AudioRecorder::kSilenceDb)))
            : AudioRecorder::kSilenceDb;
    m_sumSquares = 0;
    m_frames = 0;
}
