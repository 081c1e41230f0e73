#pragma once

#include "platform/audio/audiorecorder.h"

#include <atomic>
#include <deque>
#include <mutex>

// A recorder whose meter reads levels from a script: one level per
// updateMeters, then the fallback level for ever.
class FakeRecorder : public AudioRecorder {
public:
    FakeRecorder(std::deque<float> levels, float fallback)
        : m_levels(std::move(levels)), m_fallback(fallback) {}

    bool prepareToRecord() override { return m_prepares; }
    bool record() override;
    bool isRecording() const override { return m_recording; }
    void stop() override { m_recording = false; }
    void setMeteringEnabled(bool enabled) override { m_metering = enabled; }
    void updateMeters() override;
    float averagePowerForChannel(int) const override { return m_level; }

    void setPrepares(bool prepares) { m_prepares = prepares; }
    void setRecords(bool records) { m_records = records; }
    bool meteringEnabled() const { return m_metering; }
    int meterUpdates() const { return m_updates; }

private:
    mutable std::mutex m_mutex;
    std::deque<float> m_levels;
    float m_fallback;
    std::atomic<float> m_level{kSilenceDb};
    std::atomic<bool> m_recording{false};
    std::atomic<bool> m_metering{false};
    std::atomic<int> m_updates{0};
    bool m_prepares = true;
    bool m_records = true;
};
