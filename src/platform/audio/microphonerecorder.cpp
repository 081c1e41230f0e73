#include "platform/audio/microphonerecorder.h"

#include <QAudioSource>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <mutex>

Q_LOGGING_CATEGORY(lcMicrophone, "vantoro.microphone")

namespace {

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
      m_sampleRate(settings.value(QStringLiteral("AVSampleRateKey"), 8000).toInt()),
      m_audio(new QObject) {
    m_thread.setObjectName(QStringLiteral("microphone"));
    m_audio->moveToThread(&m_thread);
    m_thread.start();
}

MicrophoneRecorder::~MicrophoneRecorder() {
    stop();
    // The source and its device go on the thread they live on.
    onAudioThread([this] {
        delete m_audio;
        m_source = nullptr;
    });
    m_thread.quit();
    m_thread.wait();
}

bool MicrophoneRecorder::hasAudioInput() {
    return !QMediaDevices::defaultAudioInput().isNull();
}

void MicrophoneRecorder::onAudioThread(const std::function<void()>& work) {
    if (QThread::currentThread() == &m_thread)
        work();
    else
        QMetaObject::invokeMethod(m_audio, work, Qt::BlockingQueuedConnection);
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
    m_meter.setFormat(m_format);
    onAudioThread([this, &device] {
        delete m_source;
        m_source = new QAudioSource(device, m_format, m_audio);
        m_source->setBufferSize(m_format.bytesForDuration(kPeriodMs * 1000));
    });
    return true;
}

bool MicrophoneRecorder::record() {
    bool started = false;
    onAudioThread([this, &started] { started = m_source && startSource(); });
    return started;
}

bool MicrophoneRecorder::startSource() {
    m_file.setFileName(m_filePath);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qCWarning(lcMicrophone) << "cannot write the recording file" << m_filePath
                                << m_file.errorString();
    m_meter.reset();
    m_device = m_source->start();
    if (!m_device || m_source->error() != QAudio::NoError) {
        qCWarning(lcMicrophone) << "the audio input would not start, error" << m_source->error();
        stopSource();
        return false;
    }
    connect(m_device, &QIODevice::readyRead, m_audio, [this] { readAvailable(); });
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
    onAudioThread([this] {
        if (m_source)
            stopSource();
    });
}

void MicrophoneRecorder::stopSource() {
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
    m_meter.addSamples(data.constData(), data.size());
}

void MicrophoneRecorder::updateMeters() {
    if (!m_metering || !m_recording) {
        m_level = kSilenceDb;
        return;
    }
    m_meter.update();
    m_level = m_meter.averagePower();
}

float MicrophoneRecorder::averagePowerForChannel(int) const {
    return m_level;
}
