#pragma once

#include "platform/audio/audiorecorder.h"

#include <QFile>
#include <QString>
#include <memory>
#include <mutex>

// Wraps another recorder and writes down every level its meter gives while
// it records, one new level trace file per recording in a folder of the
// user's choosing. A blow measured on a real microphone can then be replayed
// exactly as the detector saw it (--level-trace), which is the only way to
// answer a report about one that went wrong.
//
// Times are seconds since record(), as the replay counts them; each level is
// written as the meter gave it, "nan" when it gave no number.
class LevelRecordingRecorder : public AudioRecorder {
public:
    LevelRecordingRecorder(std::shared_ptr<AudioRecorder> inner, QString directory);
    ~LevelRecordingRecorder() override;

    bool prepareToRecord() override;
    bool record() override;
    bool isRecording() const override;
    void stop() override;
    void setMeteringEnabled(bool enabled) override;
    void updateMeters() override;
    float averagePowerForChannel(int channel) const override;

    // The file of the current or last recording; empty before the first.
    QString tracePath() const;

    // One "seconds dB" line as the level trace reader takes it back.
    static QByteArray traceLine(double seconds, float db);

private:
    void openTrace();
    void closeTrace();

    const std::shared_ptr<AudioRecorder> m_inner;
    const QString m_directory;

    mutable std::mutex m_mutex;
    QFile m_file;
    double m_recordStart = 0;
};
