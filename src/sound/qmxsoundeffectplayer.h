#pragma once

#include "platform/audio/audioplayer.h"

#include <QObject>
#include <QString>
#include <memory>

// Loops one sound effect quietly through the loudspeaker, also while the
// microphone records: the blowing noise while the user blows.
class QMXSoundEffectPlayer : public QObject {
public:
    static constexpr float kVolume = 0.3f;

    static QMXSoundEffectPlayer& sharedInstance();

    QMXSoundEffectPlayer() = default;

    // Replaces any running loop with the sound of this key; an empty key
    // leaves things as they are.
    void playSound(const QString& key);
    void stop();
    // The end of one pass starts the next, whatever the outcome.
    void audioPlayerDidFinishPlaying(AudioPlayer* player, bool successfully);

    std::shared_ptr<AudioPlayer> player() const { return m_player; }
    // Key of the effect being looped.
    const QString& name() const { return m_name; }

private:
    void startPlayer();

    std::shared_ptr<AudioPlayer> m_player;
    QString m_name;
};
