#include "platform/audio/tracerecorder.h"

#include "platform/system/clock.h"

#include <QFile>

TraceRecorder::TraceRecorder(LevelTrace trace, QString filePath)
    : m_trace(std::move(trace)), m_filePath(std::move(filePath)) {}

bool TraceRecorder::prepareToRecord() {
    return true;
}

bool TraceRecorder::record() {
    // The recording file is the trace's stand-in for captured audio: it only
    // has to exist, as it would for the microphone.
    QFile file(m_filePath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write("level trace replay\n");
    m_startTime = Clock::shared().now();
    m_recording = true;
    return true;
}

bool TraceRecorder::isRecording() const {
    return m_recording;
}

void TraceRecorder::stop() {
    m_recording = false;
}

void TraceRecorder::setMeteringEnabled(bool enabled) {
    m_metering = enabled;
}

void TraceRecorder::updateMeters() {
    if (!m_metering || !m_recording) {
        m_level = kSilenceDb;
        return;
    }
    m_level = m_trace.levelAt(Clock::shared().now() - m_startTime);
}

float TraceRecorder::averagePowerForChannel(int) const {
    return m_level;
}
