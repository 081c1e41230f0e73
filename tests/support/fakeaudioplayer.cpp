#include "support/fakeaudioplayer.h"

bool FakeAudioPlayer::play() {
    ++m_plays;
    m_playing = true;
    if (m_finishesOnPlay)
        finish(false);
    return true;
}

void FakeAudioPlayer::stop() {
    ++m_stops;
    m_playing = false;
}

void FakeAudioPlayer::finish(bool successfully) {
    m_playing = false;
    // The report may replace this player's report handler.
    if (Finished report = m_finished)
        report(successfully);
}
