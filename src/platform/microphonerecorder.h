#pragma once

#include "audiorecorder.h"

#include <QAudioFormat>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <mutex>

class QAudioSource;
class QIODevice;

// The real microphone through QAudioSource. Captured audio is written raw to
// the recording file; the meter is the RMS of the first channel over the
// samples that arrived since the previous updateMeters, in dB full scale.
// Create, record and stop it on the thread that runs its event loop (the
// GUI thread); the meter may be polled from any thread.
class MicrophoneRecorder : public QObject, public AudioRecorder {
    Q_OBJECT
public:
    MicrophoneRecorder(QString filePath, const QVariantMap& settings, QObject* parent = nullptr);
    ~MicrophoneRecorder() override;

    bool prepareToRecord() override;
    bool record() override;
    bool isRecording() const override;
    void stop() override;
    void setMeteringEnabled(bool enabled) override;
    void updateMeters() override;
    float averagePowerForChannel(int channel) const override;

    QAudioFormat format() const { return m_format; }

    // Window-free check used for the one log line about a missing device.
    static bool hasAudioInput();

private:
    void readAvailable();
    void accumulate(const char* data, qint64 bytes);

    const QString m_filePath;
    const int m_sampleRate;
    QAudioFormat m_format;
    QAudioSource* m_source = nullptr;
    QPointer<QIODevice> m_device;
    QFile m_file;

    std::atomic<bool> m_recording{false};
    std::atomic<bool> m_metering{false};
    std::atomic<float> m_level{kSilenceDb};

    mutable std::mutex m_mutex;
    double m_sumSquares = 0.0;
    qint64 m_frames = 0;
    bool m_heardAny = false;
    std::chrono::steady_clock::time_point m_lastSamples;
};
