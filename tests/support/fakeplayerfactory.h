#pragma once

#include "support/fakeaudioplayer.h"
#include "support/installed.h"

#include <QStringList>
#include <memory>
#include <vector>

// Installs itself as the AudioPlayer factory for its lifetime, then puts
// back the factory it replaced, and keeps every fake player it makes. Like
// the real factory it makes no player for a path that is not an existing
// file.
class FakePlayerFactory {
public:
    FakePlayerFactory();
    FakePlayerFactory(const FakePlayerFactory&) = delete;
    FakePlayerFactory& operator=(const FakePlayerFactory&) = delete;

    const std::vector<std::shared_ptr<FakeAudioPlayer>>& players() const { return m_players; }
    int created() const { return int(m_players.size()); }
    // The most recently made player, or nullptr.
    std::shared_ptr<FakeAudioPlayer> last() const;
    // Paths asked for that had no file behind them.
    const QStringList& refused() const { return m_refused; }
    // Players made from now on report their end from inside play().
    void setFinishesOnPlay(bool finishes) { m_finishesOnPlay = finishes; }
    void clear();

private:
    std::vector<std::shared_ptr<FakeAudioPlayer>> m_players;
    QStringList m_refused;
    bool m_finishesOnPlay = false;
    // Last, so that the factory is gone before what it fills.
    Installed<AudioPlayer> m_installed;
};
