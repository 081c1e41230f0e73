#pragma once

#include "platform/audio/audiorecorder.h"
#include "platform/audio/levelmeter.h"

#include <QAudioFormat>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <functional>

class QAudioSource;
class QIODevice;

// The real microphone through QAudioSource. Captured audio is written raw to
// the recording file and fed to the meter (see LevelMeter).
//
// The audio is read on a thread of the recorder's own, never on the GUI
// thread: the GUI thread is now and then busy for a third of a second or
// more (the media framework loading for a sound effect), and a meter fed
// from it would take that pause for a silent microphone and end the blow.
// Any thread may call the recorder's operations.
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

    // How much audio each read brings. Every period wakes two threads of
    // this process (the sound server's and the audio thread), which is most
    // of what listening costs: 100 ms periods cost about a quarter of what
    // 20 ms ones do. The waiting loop polls as often; while blowing
    // four polls in five hold the last reading, and the end of a blow is
    // heard a period later, as its start was, so the blow time keeps its
    // length.
    static constexpr int kPeriodMs = 100;

private:
    // Runs `work` on the audio thread and waits for it.
    void onAudioThread(const std::function<void()>& work);
    bool startSource();
    void stopSource();
    void readAvailable();

    const QString m_filePath;
    const int m_sampleRate;
    QAudioFormat m_format;
    LevelMeter m_meter;

    QThread m_thread;
    // Lives on m_thread, as do the source (its child), the source's device
    // and the file.
    QObject* m_audio;
    QAudioSource* m_source = nullptr;
    QPointer<QIODevice> m_device;
    QFile m_file;

    std::atomic<bool> m_recording{false};
    std::atomic<bool> m_metering{false};
    std::atomic<float> m_level{kSilenceDb};
};
