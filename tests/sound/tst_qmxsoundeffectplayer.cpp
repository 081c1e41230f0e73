#include "platform/audio/audiosession.h"
#include "platform/system/bundle.h"
#include "sound/qmxsoundeffectplayer.h"
#include "support/fakeplayerfactory.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kBlow = QStringLiteral("吹气音效");
const QString kBlewResult = QStringLiteral("吹完音效");

QString fileOf(const std::shared_ptr<FakeAudioPlayer>& player) {
    return player ? QFileInfo(player->path()).fileName() : QString();
}
} // namespace

// The effect loop with fake players: the test ends each pass by hand.
class TestQMXSoundEffectPlayer : public QObject {
    Q_OBJECT

    FakePlayerFactory m_players;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        m_players.clear();
        AudioSession::sharedInstance().reset();
    }
    void cleanup() { Bundle::setResourcePath(QString()); }

    void everyEndStartsTheNextPass() {
        QMXSoundEffectPlayer effect;
        effect.playSound(kBlow);

        // Audible while the microphone records, from the loudspeaker.
        const AudioSession& session = AudioSession::sharedInstance();
        QCOMPARE(session.category(), AudioSession::Category::PlayAndRecord);
        QCOMPARE(session.portOverride(), AudioSession::PortOverride::Speaker);

        QCOMPARE(m_players.created(), 1);
        auto first = m_players.last();
        QCOMPARE(fileOf(first), QStringLiteral("blow.mp3"));
        QVERIFY(first->isPlaying());
        QCOMPARE(first->volume(), 0.3f);
        QCOMPARE(effect.player().get(), first.get());
        QCOMPARE(effect.name(), kBlow);

        // A failed pass restarts the loop just as a completed one does.
        for (const bool success : {true, false, true}) {
            const auto ending = m_players.last();
            ending->finish(success);
            const auto next = m_players.last();
            QVERIFY(next != ending);
            QCOMPARE(fileOf(next), QStringLiteral("blow.mp3"));
            QVERIFY(next->isPlaying());
            QCOMPARE(next->volume(), 0.3f);
            QCOMPARE(effect.player().get(), next.get());
        }
        QCOMPARE(m_players.created(), 4);

        // An end reported by a player no longer in use starts nothing.
        first->finish(true);
        QCOMPARE(m_players.created(), 4);
        QCOMPARE(effect.player().get(), m_players.last().get());
    }

    void aNewKeyReplacesTheLoopAndAnEmptyKeyIsIgnored() {
        QMXSoundEffectPlayer effect;
        effect.playSound(kBlow);
        const auto blow = m_players.last();

        AudioSession::sharedInstance().reset();
        effect.playSound(QString());
        effect.playSound(QStringLiteral(""));
        QCOMPARE(m_players.created(), 1);
        QVERIFY(blow->isPlaying());
        QCOMPARE(blow->stops(), 0);
        QCOMPARE(effect.player().get(), blow.get());
        QCOMPARE(effect.name(), kBlow);
        QCOMPARE(AudioSession::sharedInstance().category(), AudioSession::Category::SoloAmbient);

        effect.playSound(kBlewResult);
        QCOMPARE(m_players.created(), 2);
        const auto result = m_players.last();
        QVERIFY2(!blow->isPlaying(), "the old loop plays on beside the new one");
        QCOMPARE(fileOf(result), QStringLiteral("blew_result.mp3"));
        QVERIFY(result->isPlaying());
        QCOMPARE(effect.name(), kBlewResult);

        result->finish(true);
        QCOMPARE(m_players.created(), 3);
        QCOMPARE(fileOf(m_players.last()), QStringLiteral("blew_result.mp3"));
        blow->finish(true);
        QCOMPARE(m_players.created(), 3);
    }

    void stopEndsTheLoopAndASecondStopDoesNothing() {
        QMXSoundEffectPlayer effect;
        effect.playSound(kBlow);
        const auto blow = m_players.last();

        effect.stop();
        QVERIFY(!blow->isPlaying());
        QCOMPARE(blow->stops(), 1);
        QVERIFY(!effect.player());

        effect.stop();
        QCOMPARE(blow->stops(), 1);
        QVERIFY(!effect.player());
        // A stopped player that still reports its end does not revive the loop.
        blow->finish(true);
        QCOMPARE(m_players.created(), 1);
        QVERIFY(!effect.player());

        effect.playSound(kBlow);
        QCOMPARE(m_players.created(), 2);
        QVERIFY(m_players.last()->isPlaying());
    }

    void aMissingSoundLeavesNoPlayer() {
        QMXSoundEffectPlayer effect;
        effect.playSound(kBlow);
        const auto blow = m_players.last();

        QTemporaryDir emptyBundle;
        QVERIFY(emptyBundle.isValid());
        Bundle::setResourcePath(emptyBundle.path());
        effect.playSound(kBlewResult);
        QCOMPARE(m_players.created(), 1);
        QVERIFY(!effect.player());
        QVERIFY2(!blow->isPlaying(), "switching to a missing sound must still end the old loop");
        QCOMPARE(effect.name(), kBlewResult);
        effect.stop();

        Bundle::setResourcePath(QString());
        effect.playSound(QStringLiteral("没有这个音效"));
        QVERIFY(!effect.player());
        QCOMPARE(m_players.created(), 1);
        effect.stop();
        QVERIFY(!effect.player());
    }
};

QTEST_GUILESS_MAIN(TestQMXSoundEffectPlayer)
#include "tst_qmxsoundeffectplayer.moc"
