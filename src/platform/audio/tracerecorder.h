#pragma once

#include "platform/audio/audiorecorder.h"
#include "platform/audio/leveltrace.h"

#include <atomic>

// Replays a level trace in real time in place of the microphone: the meter
// reads the trace's level at the time elapsed since record().
class TraceRecorder : public AudioRecorder {
public:
    TraceRecorder(LevelTrace trace, QString filePath);

    bool prepareToRecord() override;
    bool record() override;
    bool isRecording() const override;
    void stop() override;
    void setMeteringEnabled(bool enabled) override;
    void updateMeters() override;
    float averagePowerForChannel(int channel) const override;

    // Clock time at which record() started the replay.
    double startTime() const { return m_startTime.load(); }

private:
    const LevelTrace m_trace;
    const QString m_filePath;
    std::atomic<bool> m_recording{false};
    std::atomic<bool> m_metering{false};
    std::atomic<double> m_startTime{0.0};
    std::atomic<float> m_level{kSilenceDb};
};
