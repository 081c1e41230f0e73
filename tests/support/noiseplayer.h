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
    // Why noise played here would not reach the default input, or an empty
    // string: the default input must be the test services' virtual
    // microphone, which hears the default output.
    static QString virtualMicrophoneUnavailable();

    // Uniform white noise of this peak amplitude (0..1).
    bool generate(double seconds, double amplitude);
    // RMS of the generated file in dB full scale, read back from its samples.
    std::optional<double> fileRmsDb() const;

    bool play();
    // Plays without this process watching the player's pipes and exit, so
    // that a benchmark of this process's CPU time is not charged for them.
    bool playDetached();
    bool isPlaying() const;
    void stop();

    // The virtual microphone renders in blocks of up to two seconds while no
    // recording asks for short ones, so the first recording after a quiet
    // spell hears nothing for that long; a real microphone delivers from
    // the start. A listener that asks for short blocks, until stopListening
    // or the end of this player, makes the virtual one behave alike.
    bool keepMicrophoneAwake();
    void stopListening();

    ~NoisePlayer();

private:
    QTemporaryDir m_dir;
    QString m_path;
    QProcess m_process;
    qint64 m_detachedPid = 0;
    QProcess m_listener;
};
