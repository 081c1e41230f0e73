#pragma once

#include "platform/audio/audioplayer.h"

// A player that plays nothing: it records what it is asked to do, and the
// test decides when playback reaches its end.
class FakeAudioPlayer : public AudioPlayer {
public:
    explicit FakeAudioPlayer(QString path) : m_path(std::move(path)) {}

    bool prepareToPlay() override { return true; }
    bool play() override;
    void stop() override;
    bool isPlaying() const override { return m_playing; }
    void setVolume(float volume) override { m_volume = volume; }
    float volume() const override { return m_volume; }
    void setNumberOfLoops(int loops) override { m_loops = loops; }
    void setFinished(Finished finished) override { m_finished = std::move(finished); }

    // Playback reaches its end: the player stops and reports it, as a real
    // one does (a stop() is not reported).
    void finish(bool successfully = true);
    // Reports the end from inside play(), as a sound that cannot start may.
    void setFinishesOnPlay(bool finishes) { m_finishesOnPlay = finishes; }

    const QString& path() const { return m_path; }
    int plays() const { return m_plays; }
    int stops() const { return m_stops; }
    int numberOfLoops() const { return m_loops; }

private:
    QString m_path;
    Finished m_finished;
    float m_volume = 1.0f;
    int m_loops = 0;
    int m_plays = 0;
    int m_stops = 0;
    bool m_playing = false;
    bool m_finishesOnPlay = false;
};
