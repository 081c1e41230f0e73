#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <optional>

// White noise made with sox at the recorder's 8 kHz rate and played into the
// default output with paplay, where the test services' virtual microphone
// hears it. Made at a higher rate, white noise would lose most of its power
// to the low-pass filter on the way down to 8 kHz.
class NoisePlayer {
public:
    // Why noise cannot be played here, or an empty string.
    static QString unavailable();

    // Uniform white noise of this peak amplitude (0..1).
    bool generate(double seconds, double amplitude);
    // RMS of the generated file in dB full scale, read back from its samples.
    std::optional<double> fileRmsDb() const;

    bool play();
    bool isPlaying() const { return m_process.state() != QProcess::NotRunning; }
    void stop();

private:
    QTemporaryDir m_dir;
    QString m_path;
    QProcess m_process;
};
