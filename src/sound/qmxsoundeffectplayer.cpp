#include "sound/qmxsoundeffectplayer.h"

#include "platform/audio/audiosession.h"
#include "sound/qmxsoundpool.h"
#include "sound/retireplayer.h"

#include <QCoreApplication>
#include <QPointer>

QMXSoundEffectPlayer& QMXSoundEffectPlayer::sharedInstance() {
    static QMXSoundEffectPlayer* instance = [] {
        static QMXSoundEffectPlayer player;
        // Media players must go while the application object still exists,
        // not among the static destructors after it.
        qAddPostRoutine([] {
            if (player.m_player)
                player.m_player->stop();
            player.m_player.reset();
        });
        return &player;
    }();
    return *instance;
}

void QMXSoundEffectPlayer::playSound(const QString& key) {
    if (key.isEmpty())
        return;
    // The effect plays while the microphone records, and from the
    // loudspeaker rather than the earpiece that this category picks.
    AudioSession& session = AudioSession::sharedInstance();
    session.setCategory(AudioSession::Category::PlayAndRecord);
    session.overrideOutputAudioPort(AudioSession::PortOverride::Speaker);
    m_name = key;
    startPlayer();
}

void QMXSoundEffectPlayer::stop() {
    // A player that exists but is not playing is kept.
    if (m_player && m_player->isPlaying()) {
        m_player->stop();
        retirePlayer(std::exchange(m_player, nullptr));
    }
}

void QMXSoundEffectPlayer::audioPlayerDidFinishPlaying(AudioPlayer* player, bool) {
    // Only the player in use reports: one that was replaced or stopped has
    // been let go, as it would have been freed on the phone.
    if (!player || player != m_player.get())
        return;
    startPlayer();
}

void QMXSoundEffectPlayer::startPlayer() {
    const QString path = QMXSoundPool::sharedInstance().getSound(m_name);
    std::shared_ptr<AudioPlayer> next = path.isEmpty() ? nullptr : AudioPlayer::create(path);
    retirePlayer(std::exchange(m_player, next));
    // A sound that cannot be opened leaves no player, and so no end report
    // that would restart it: the loop ends quietly.
    if (!next)
        return;
    next->setFinished([self = QPointer(this), raw = next.get()](bool successfully) {
        if (self)
            self->audioPlayerDidFinishPlaying(raw, successfully);
    });
    next->setVolume(kVolume);
    next->play();
}
