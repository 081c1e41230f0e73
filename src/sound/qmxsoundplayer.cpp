#include "sound/qmxsoundplayer.h"

#include "platform/audio/audiosession.h"
#include "sound/qmxsoundpool.h"
#include "sound/retireplayer.h"

#include <QCoreApplication>
#include <QPointer>

namespace {
// Unlocks on every way out of a queue operation that got the lock.
class TryLocker {
public:
    explicit TryLocker(QMutex& mutex) : m_mutex(mutex), m_locked(mutex.tryLock()) {}
    ~TryLocker() {
        if (m_locked)
            m_mutex.unlock();
    }
    explicit operator bool() const { return m_locked; }

private:
    QMutex& m_mutex;
    bool m_locked;
};
} // namespace

QMXSoundPlayer& QMXSoundPlayer::sharedInstance() {
    static QMXSoundPlayer* instance = [] {
        static QMXSoundPlayer player;
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

QMXSoundPlayer::~QMXSoundPlayer() {
    if (m_timer)
        MainTimer::shared().cancel(m_timer);
}

void QMXSoundPlayer::playASoundOnSpeaker(const QString& key) {
    AudioSession& session = AudioSession::sharedInstance();
    session.setCategory(AudioSession::Category::Playback);
    session.overrideOutputAudioPort(AudioSession::PortOverride::Speaker);
    playASound(key);
}

void QMXSoundPlayer::playASound(const QString& key) {
    if (key.isEmpty())
        return;
    // The category stays as the caller set it.
    AudioSession::sharedInstance().setActive(true);
    playItem(QMXSoundPool::sharedInstance().getSound(key));
}

void QMXSoundPlayer::setPlayQueue(std::shared_ptr<QMXQueue> queue) {
    TryLocker locked(m_lock);
    if (!locked)
        return;
    if (queue)
        m_queue = std::move(queue);
}

void QMXSoundPlayer::play() {
    TryLocker locked(m_lock);
    if (!locked)
        return;
    if (!m_queue || m_queue->count() == 0)
        return;
    // Even a leading wait marker is taken for a sound; it has no file, so
    // nothing plays and nothing follows.
    playItem(m_queue->dequeue());
    m_isPlaying = true;
}

void QMXSoundPlayer::pause() {
    TryLocker locked(m_lock);
    if (!locked)
        return;
    m_isPause = true;
}

void QMXSoundPlayer::rest() {
    TryLocker locked(m_lock);
    if (!locked)
        return;
    if (m_player && m_player->isPlaying())
        m_player->stop();
    if (m_queue)
        m_queue->clear();
}

void QMXSoundPlayer::audioPlayerDidFinishPlaying(AudioPlayer* player, bool) {
    // Only the player in use reports: one that was replaced has been let go,
    // as it would have been freed on the phone.
    if (!player || player != m_player.get())
        return;
    TryLocker locked(m_lock);
    if (!locked)
        return;
    if (m_queue && m_queue->count() > 0 && !m_isPause) {
        const QString item = m_queue->dequeue();
        if (QMXQueue::isWaitMarker(item)) {
            // A wait still pending is forgotten, not cancelled: it fires
            // all the same and takes the place of this one.
            m_timer = MainTimer::shared().schedule(kWaitSeconds, [self = QPointer(this)] {
                if (self)
                    self->delayToPlay();
            });
        } else {
            playItem(item);
        }
    } else if (!m_queue || m_queue->count() == 0) {
        m_isPlaying = false;
    }
    // Otherwise the player holds after a pause: items remain, and it still
    // counts as playing.
}

void QMXSoundPlayer::delayToPlay() {
    MainTimer::shared().cancel(m_timer);
    m_timer = 0;
    // After a rest during the wait there is nothing left: no sound plays.
    playItem(m_queue ? m_queue->dequeue() : QString());
}

void QMXSoundPlayer::playItem(const QString& path) {
    std::shared_ptr<AudioPlayer> next = path.isEmpty() ? nullptr : AudioPlayer::create(path);
    retirePlayer(std::exchange(m_player, next));
    if (!next)
        return;
    next->setFinished([self = QPointer(this), raw = next.get()](bool successfully) {
        if (self)
            self->audioPlayerDidFinishPlaying(raw, successfully);
    });
    next->setVolume(kVolume);
    next->play();
}
