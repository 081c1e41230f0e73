#pragma once

#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>

// A recorder whose only use is its level meter. Every operation may be called
// from any thread: the detector starts and stops it on the main thread and
// polls the meter from its loop on the global queue.
class AudioRecorder {
public:
    using Factory = std::function<std::shared_ptr<AudioRecorder>(const QString& filePath,
                                                                 const QVariantMap& settings)>;

    virtual ~AudioRecorder() = default;

    virtual bool prepareToRecord() = 0;
    virtual bool record() = 0;
    virtual bool isRecording() const = 0;
    virtual void stop() = 0;
    virtual void setMeteringEnabled(bool enabled) = 0;
    virtual void updateMeters() = 0;
    // Average power in dB full scale since the previous updateMeters: 0 is
    // the loudest, -160 is silence.
    virtual float averagePowerForChannel(int channel) const = 0;

    static constexpr float kSilenceDb = -160.0f;

    // Which recorder a start gets is decided once by the application (the
    // microphone, or a replayed trace). Without a factory creation fails,
    // which the detector treats as a recorder that cannot be prepared.
    static void setFactory(Factory factory);
    static std::shared_ptr<AudioRecorder> create(const QString& filePath,
                                                 const QVariantMap& settings);
};
