#include "microphonerecorder.h"

#include <QAudioSource>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QThread>
#include <cmath>

Q_LOGGING_CATEGORY(lcMicrophone, "vantoro.microphone")

namespace {

// Periods come every 10 ms or so; this is long enough never to be mistaken
// for a late period and short enough to end a stalled blow almost at once.
constexpr std::chrono::milliseconds kStallTimeout{250};

// One channel-0 sample of any format Qt can deliver, scaled to [-1, 1].
double sampleValue(const QAudioFormat& format, const char* frame) {
    switch (format.sampleFormat()) {
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

void logNoInputOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        qCWarning(lcMicrophone) << "no audio input: there is no microphone to listen to, so no"
                                   " blow can be measured";
    });
}

} // namespace

MicrophoneRecorder::MicrophoneRecorder(QString filePath, const QVariantMap& settings,
                                       QObject* parent)
    : QObject(parent), m_filePath(std::move(filePath)),
      m_sampleRate(settings.value(QStringLiteral("AVSampleRateKey"), 8000).toInt()) {}

MicrophoneRecorder::~MicrophoneRecorder() {
    stop();
}

bool MicrophoneRecorder::hasAudioInput() {
    return !QMediaDevices::defaultAudioInput().isNull();
}

bool MicrophoneRecorder::prepareToRecord() {
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        logNoInputOnce();
        return false;
    }
    m_format.setSampleRate(m_sampleRate);
    m_format.setChannelCount(1);
    m_format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(m_format))
        m_format = device.preferredFormat();
    delete m_source;
    m_source = new QAudioSource(device, m_format, this);
    // Periods as long as one blowing poll: nearly every poll finds fresh
    // samples, and the process wakes half as often as with shorter ones.
    m_source->setBufferSize(m_format.bytesForDuration(20000));
    return true;
}

bool MicrophoneRecorder::record() {
    if (!m_source)
        return false;
    m_file.setFileName(m_filePath);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qCWarning(lcMicrophone) << "cannot write the recording file" << m_filePath
                                << m_file.errorString();
    {
        std::lock_guard lock(m_mutex);
        m_sumSquares = 0;
        m_frames = 0;
        m_heardAny = false;
    }
    m_device = m_source->start();
    if (!m_device || m_source->error() != QAudio::NoError) {
        qCWarning(lcMicrophone) << "the audio input would not start, error" << m_source->error();
        m_source->stop();
        m_file.close();
        return false;
    }
    connect(m_device, &QIODevice::readyRead, this, &MicrophoneRecorder::readAvailable);
    m_recording = true;
    return true;
}

bool MicrophoneRecorder::isRecording() const {
    return m_recording;
}

void MicrophoneRecorder::stop() {
    // Loops poll isRecording from another thread: they must see the stop at
    // once, even before the audio device has been shut down.
    m_recording = false;
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this] { stop(); }, Qt::QueuedConnection);
        return;
    }
    if (m_source)
        m_source->stop();
    if (m_file.isOpen())
        m_file.close();
}

void MicrophoneRecorder::setMeteringEnabled(bool enabled) {
    m_metering = enabled;
}

void MicrophoneRecorder::readAvailable() {
    if (!m_device)
        return;
    const QByteArray data = m_device->readAll();
    if (data.isEmpty())
        return;
    if (m_file.isOpen())
        m_file.write(data);
    accumulate(data.constData(), data.size());
}

void MicrophoneRecorder::accumulate(const char* data, qint64 bytes) {
    const int frameBytes = m_format.bytesPerFrame();
    if (frameBytes <= 0)
        return;
    double sum = 0.0;
    const qint64 frames = bytes / frameBytes;
    for (qint64 i = 0; i < frames; ++i) {
        const double v = sampleValue(m_format, data + i * frameBytes);
        sum += v * v;
    }
    std::lock_guard lock(m_mutex);
    m_sumSquares += sum;
    m_frames += frames;
    if (frames > 0) {
        m_heardAny = true;
        m_lastSamples = std::chrono::steady_clock::now();
    }
}

void MicrophoneRecorder::updateMeters() {
    if (!m_metering || !m_recording) {
        m_level = kSilenceDb;
        return;
    }
    std::lock_guard lock(m_mutex);
    if (m_frames == 0) {
        // Audio arrives in periods; a poll that falls between two of them
        // keeps the last reading instead of reporting a silence that no one
        // made, which would end a blow in its middle. An input that stopped
        // delivering (device unplugged, source suspended) must not hold its
        // last loud reading, or the blow would never end: after a stall far
        // longer than a period it reads as silence.
        if (!m_heardAny || std::chrono::steady_clock::now() - m_lastSamples > kStallTimeout)
            m_level = kSilenceDb;
        return;
    }
    const double rms = std::sqrt(m_sumSquares / double(m_frames));
    m_level = rms > 0 ? float(std::max(20.0 * std::log10(rms), double(kSilenceDb))) : kSilenceDb;
    m_sumSquares = 0;
    m_frames = 0;
}

float MicrophoneRecorder::averagePowerForChannel(int) const {
    return m_level;
}
