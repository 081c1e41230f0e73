#pragma once

#include "platform/audio/audioplayer.h"
#include "platform/system/maintimer.h"
#include "sound/qmxqueue.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <memory>

// Plays one sound once, or a queue of sounds one after another with a pause
// wherever the queue holds the wait marker.
class QMXSoundPlayer : public QObject {
public:
    static constexpr float kVolume = 0.7f;
    // The pause that a wait marker makes between two sounds.
    static constexpr double kWaitSeconds = 0.8;

    static QMXSoundPlayer& sharedInstance();

    QMXSoundPlayer() = default;
    ~QMXSoundPlayer() override;

    // Plays the key's sound once, outside any queue; an empty key does nothing.
    void playASound(const QString& key);
    // After recording: back to playback, routed to the loudspeaker rather
    // than the earpiece, then the sound once.
    void playASoundOnSpeaker(const QString& key);

    // The queue operations take the lock without waiting: when it is busy
    // the call is dropped.

    // A null queue keeps the current one.
    void setPlayQueue(std::shared_ptr<QMXQueue> queue);
    void play();
    // Lets the current sound finish and then holds; there is no way back.
    void pause();
    // Stops the current sound and empties the queue.
    void rest();
    // Advances the queue, whatever the outcome of the sound that ended.
    void audioPlayerDidFinishPlaying(AudioPlayer* player, bool successfully);
    // The end of a wait: plays the next item. Takes no lock.
    void delayToPlay();

    bool isPlaying() const { return m_isPlaying; }
    bool isPause() const { return m_isPause; }
    std::shared_ptr<AudioPlayer> player() const { return m_player; }
    std::shared_ptr<QMXQueue> queue() const { return m_queue; }
    // The pending wait, or 0.
    MainTimer::Id timer() const { return m_timer; }
    QMutex& lock() { return m_lock; }

private:
    // Makes the player of an item current and starts it; an item without a
    // sound file behind it leaves no player.
    void playItem(const QString& path);

    bool m_isPlaying = false;
    bool m_isPause = false;
    std::shared_ptr<AudioPlayer> m_player;
    // Queue operations all run on the GUI thread, so the lock is only ever
    // found busy by a call made from inside another one; a non-recursive
    // QMutex then refuses instead of deadlocking.
    QMutex m_lock;
    std::shared_ptr<QMXQueue> m_queue;
    MainTimer::Id m_timer = 0;
};
