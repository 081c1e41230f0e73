#include "platform/audio/mediaaudioplayer.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMediaPlayer>
#include <QUrl>

Q_LOGGING_CATEGORY(lcPlayer, "vantoro.player")

std::shared_ptr<MediaAudioPlayer> MediaAudioPlayer::open(const QString& filePath) {
    const QFileInfo info(filePath);
    if (!info.isFile() || !info.isReadable()) {
        qCWarning(lcPlayer) << "no sound file at" << filePath;
        return nullptr;
    }
    return std::make_shared<MediaAudioPlayer>(filePath);
}

MediaAudioPlayer::MediaAudioPlayer(const QString& filePath, QObject* parent)
    : QObject(parent), m_player(new QMediaPlayer(this)), m_output(new QAudioOutput(this)) {
    m_player->setAudioOutput(m_output);
    m_player->setSource(QUrl::fromLocalFile(filePath));
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia && m_finished)
            m_finished(true);
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this, filePath](QMediaPlayer::Error, const QString& message) {
                m_failed = true;
                qCWarning(lcPlayer) << "cannot play" << filePath << ':' << message;
                if (m_finished)
                    m_finished(false);
            });
}

bool MediaAudioPlayer::prepareToPlay() {
    return !m_failed;
}

bool MediaAudioPlayer::play() {
    if (m_failed)
        return false;
    m_player->play();
    return true;
}

void MediaAudioPlayer::stop() {
    m_player->stop();
}

bool MediaAudioPlayer::isPlaying() const {
    return m_player->playbackState() == QMediaPlayer::PlayingState;
}

void MediaAudioPlayer::setVolume(float volume) {
    m_output->setVolume(volume);
}

float MediaAudioPlayer::volume() const {
    return m_output->volume();
}

void MediaAudioPlayer::setNumberOfLoops(int loops) {
    m_player->setLoops(loops < 0 ? int(QMediaPlayer::Infinite) : loops + 1);
}

void MediaAudioPlayer::setFinished(Finished finished) {
    m_finished = std::move(finished);
}
