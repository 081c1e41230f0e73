#include "platform/audio/audiosession.h"
#include "sound/qmxsoundplayer.h"
#include "sound/qmxsoundpool.h"
#include "support/fakemaintimer.h"
#include "support/fakeplayerfactory.h"
#include "support/installed.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

namespace {
QString sound(const char* key) {
    return QMXSoundPool::sharedInstance().getSound(QString::fromUtf8(key));
}

std::shared_ptr<QMXQueue> queueOf(const QStringList& items) {
    auto queue = std::make_shared<QMXQueue>();
    for (const QString& item : items)
        queue->enqueue(item);
    return queue;
}
} // namespace

// The sound player with fake players in virtual time: the test ends each
// sound by hand and moves the main-thread timers on.
class TestQMXSoundPlayer : public QObject {
    Q_OBJECT

    FakePlayerFactory m_players;
    FakeMainTimer m_timers;
    Installed<MainTimer> m_installedTimers{&m_timers};
    QString m_a;
    QString m_b;
    QString m_c;

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        m_a = sound("您的");
        m_b = sound("血压");
        m_c = sound("心率");
        QVERIFY(!m_a.isEmpty() && !m_b.isEmpty() && !m_c.isEmpty());
    }
    void init() {
        m_players.clear();
        AudioSession::sharedInstance().reset();
    }

    void oneSoundPlaysOnceOutsideAnyQueue() {
        QMXSoundPlayer player;
        AudioSession::sharedInstance().setCategory(AudioSession::Category::Playback);
        player.playASound(QStringLiteral("吹完音效"));

        QVERIFY(AudioSession::sharedInstance().isActive());
        QCOMPARE(AudioSession::sharedInstance().category(), AudioSession::Category::Playback);
        QCOMPARE(m_players.created(), 1);
        const auto result = m_players.last();
        QCOMPARE(QFileInfo(result->path()).fileName(), QStringLiteral("blew_result.mp3"));
        QCOMPARE(result->volume(), 0.7f);
        QVERIFY(result->isPlaying());
        QCOMPARE(result->numberOfLoops(), 0);
        QVERIFY(!player.isPlaying());

        player.playASound(QString());
        QCOMPARE(m_players.created(), 1);
        QVERIFY(result->isPlaying());

        result->finish(true);
        QCOMPARE(m_players.created(), 1);
        QVERIFY(!player.isPlaying());
        QCOMPARE(m_timers.pending(), 0);
    }

    void aWaitMarkerPausesBetweenTwoSounds() {
        QMXSoundPlayer player;
        const auto queue = queueOf({m_a, QMXQueue::waitMarker(), m_b});
        player.setPlayQueue(queue);
        QVERIFY(!player.isPlaying());

        player.play();
        QVERIFY(player.isPlaying());
        QCOMPARE(m_players.created(), 1);
        const auto a = m_players.last();
        QCOMPARE(a->path(), m_a);
        QVERIFY(a->isPlaying());
        QCOMPARE(a->volume(), 0.7f);
        QCOMPARE(queue->count(), 2);

        m_timers.advance(5.0);
        QCOMPARE(m_players.created(), 1);

        // A failed sound moves the queue on as a completed one does.
        const double endedAt = m_timers.now();
        a->finish(false);
        QCOMPARE(m_players.created(), 1);
        QCOMPARE(m_timers.pending(), 1);
        QVERIFY(player.timer() != 0);
        QCOMPARE(m_timers.dueTime(player.timer()), endedAt + 0.8);
        QCOMPARE(queue->count(), 1);
        QVERIFY(player.isPlaying());

        m_timers.advance(0.79);
        QCOMPARE(m_players.created(), 1);
        m_timers.advance(0.01);
        QCOMPARE(m_players.created(), 2);
        const auto b = m_players.last();
        QCOMPARE(b->path(), m_b);
        QVERIFY(b->isPlaying());
        QCOMPARE(b->volume(), 0.7f);
        QCOMPARE(player.player().get(), b.get());
        QCOMPARE(player.timer(), MainTimer::Id(0));
        QCOMPARE(queue->count(), 0);
        QVERIFY(player.isPlaying());

        b->finish(true);
        QVERIFY(!player.isPlaying());
        QCOMPARE(m_players.created(), 2);
        QCOMPARE(m_timers.pending(), 0);
    }

    void restDuringAWaitLeavesNothingToPlay() {
        QMXSoundPlayer player;
        const auto queue = queueOf({m_a, QMXQueue::waitMarker(), m_b, m_c});
        player.setPlayQueue(queue);
        player.play();
        m_players.last()->finish(true);
        QCOMPARE(m_timers.pending(), 1);

        player.rest();
        QCOMPARE(queue->count(), 0);
        const int fired = m_timers.fired();
        m_timers.advance(0.8);
        QCOMPARE(m_timers.fired(), fired + 1);
        QCOMPARE(m_players.created(), 1);
        QVERIFY(!player.player());
        // Nothing resets the flag here: no sound is left to report an end.
        QVERIFY(player.isPlaying());
    }

    void restStopsTheSoundAndEmptiesTheQueue() {
        QMXSoundPlayer player;
        const auto queue = queueOf({m_a, m_b});
        player.setPlayQueue(queue);
        player.play();
        const auto a = m_players.last();
        player.rest();
        QVERIFY(!a->isPlaying());
        QCOMPARE(a->stops(), 1);
        QCOMPARE(queue->count(), 0);
        // The queue object stays the player's: a refill plays again.
        queue->enqueue(m_c);
        player.play();
        QCOMPARE(m_players.last()->path(), m_c);
    }

    void aNullQueueKeepsTheCurrentOne() {
        QMXSoundPlayer player;
        const auto first = queueOf({m_a, m_b});
        player.setPlayQueue(first);
        player.setPlayQueue(nullptr);
        QCOMPARE(player.queue(), first);
        player.play();
        QCOMPARE(m_players.last()->path(), m_a);
        QCOMPARE(first->count(), 1);

        const auto second = queueOf({m_c});
        player.setPlayQueue(second);
        QCOMPARE(player.queue(), second);
        m_players.last()->finish(true);
        QCOMPARE(m_players.last()->path(), m_c);
        QCOMPARE(first->count(), 1);
    }

    void pauseHoldsAfterTheCurrentSound() {
        QMXSoundPlayer player;
        const auto queue = queueOf({m_a, m_b, m_c});
        player.setPlayQueue(queue);
        player.play();
        const auto a = m_players.last();
        player.pause();
        QVERIFY(player.isPause());
        QVERIFY2(a->isPlaying(), "pause cut the current sound short");

        a->finish(true);
        QCOMPARE(m_players.created(), 1);
        QCOMPARE(queue->count(), 2);
        QVERIFY(player.isPlaying());
        QCOMPARE(m_timers.pending(), 0);

        // The pause is for good: play starts one sound, which holds again.
        player.play();
        QCOMPARE(m_players.created(), 2);
        QCOMPARE(m_players.last()->path(), m_b);
        m_players.last()->finish(true);
        QCOMPARE(m_players.created(), 2);
        QCOMPARE(queue->count(), 1);
        QVERIFY(player.isPause());
        QVERIFY(player.isPlaying());
    }

    void aBusyLockDropsTheCall() {
        QMXSoundPlayer player;
        const auto queue = queueOf({m_a, m_b, m_c});

        player.lock().lock();
        player.setPlayQueue(queue);
        player.lock().unlock();
        QVERIFY(!player.queue());

        player.setPlayQueue(queue);
        player.lock().lock();
        player.play();
        player.lock().unlock();
        QCOMPARE(m_players.created(), 0);
        QVERIFY(!player.isPlaying());

        player.play();
        const auto a = m_players.last();
        player.lock().lock();
        player.pause();
        player.rest();
        a->finish(true);
        player.lock().unlock();
        QVERIFY(!player.isPause());
        QCOMPARE(a->stops(), 0);
        QCOMPARE(queue->count(), 2);
        QCOMPARE(m_players.created(), 1);
        // The lost end report leaves the queue where it was.
        QVERIFY(player.isPlaying());

        // The lock is free again and every operation works.
        player.play();
        QCOMPARE(m_players.last()->path(), m_b);
        player.pause();
        QVERIFY(player.isPause());
    }

    void anEndReportedInsidePlayIsDropped() {
        // play holds the lock while it starts the sound; a sound that ends at
        // once reports from inside that call, on the same thread.
        QMXSoundPlayer player;
        const auto queue = queueOf({m_a, m_b});
        player.setPlayQueue(queue);
        m_players.setFinishesOnPlay(true);
        player.play();
        QCOMPARE(m_players.created(), 1);
        QCOMPARE(queue->count(), 1);
        QVERIFY(player.isPlaying());
        // Not left locked by the dropped call.
        m_players.setFinishesOnPlay(false);
        player.play();
        QCOMPARE(m_players.created(), 2);
        QCOMPARE(m_players.last()->path(), m_b);
    }

    void itemsWithoutASoundFileLeaveNoPlayer() {
        QMXSoundPlayer player;
        // A marker at the head is taken for a sound.
        const auto queue = queueOf({QMXQueue::waitMarker(), m_a});
        player.setPlayQueue(queue);
        player.play();
        QCOMPARE(m_players.created(), 0);
        QVERIFY(!player.player());
        QVERIFY(player.isPlaying());
        QCOMPARE(queue->count(), 1);

        player.playASound(QStringLiteral("没有这个音效"));
        QVERIFY(!player.player());
        QCOMPARE(m_players.created(), 0);
    }

    void aSoundThatWasReplacedReportsNothing() {
        QMXSoundPlayer player;
        const auto queue = queueOf({m_a, m_b, m_c});
        player.setPlayQueue(queue);
        player.play();
        const auto a = m_players.last();
        player.playASound(QStringLiteral("吹完音效"));
        QVERIFY(!a->isPlaying());
        a->finish(true);
        QCOMPARE(m_players.created(), 2);
        QCOMPARE(queue->count(), 2);
        // The single sound's end moves the queue on, as the player's own.
        m_players.last()->finish(true);
        QCOMPARE(m_players.last()->path(), m_b);
    }
};

QTEST_GUILESS_MAIN(TestQMXSoundPlayer)
#include "tst_qmxsoundplayer.moc"
