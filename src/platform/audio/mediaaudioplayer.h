#pragma once

#include "platform/audio/audioplayer.h"

#include <QObject>

class QMediaPlayer;
class QAudioOutput;

// AudioPlayer on QMediaPlayer and QAudioOutput.
class MediaAudioPlayer : public QObject, public AudioPlayer {
    Q_OBJECT
public:
    // nullptr when the file is missing or unreadable.
    static std::shared_ptr<MediaAudioPlayer> open(const QString& filePath);

    explicit MediaAudioPlayer(const QString& filePath, QObject* parent = nullptr);

    bool prepareToPlay() override;
    bool play() override;
    void stop() override;
    bool isPlaying() const override;
    void setVolume(float volume) override;
    float volume() const override;
    void setNumberOfLoops(int loops) override;
    void setFinished(Finished finished) override;

private:
    QMediaPlayer* m_player;
    QAudioOutput* m_output;
    Finished m_finished;
    bool m_failed = false;
};
