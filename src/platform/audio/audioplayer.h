#pragma once

#include <QString>
#include <functional>
#include <memory>

// A player for one sound file. Used on the GUI thread only.
class AudioPlayer {
public:
    using Factory = std::function<std::shared_ptr<AudioPlayer>(const QString& filePath)>;
    using Finished = std::function<void(bool successfully)>;

    virtual ~AudioPlayer() = default;

    virtual bool prepareToPlay() = 0;
    virtual bool play() = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    virtual void setVolume(float volume) = 0;
    virtual float volume() const = 0;
    // -1 loops until stopped, 0 plays once, n plays n + 1 times.
    virtual void setNumberOfLoops(int loops) = 0;
    // Called on the GUI thread when playback reaches its end (not on stop()).
    virtual void setFinished(Finished finished) = 0;

    // Creation fails (nullptr) for a file that does not exist or cannot be
    // read; the application installs the real factory at start-up.
    static void setFactory(Factory factory);
    static std::shared_ptr<AudioPlayer> create(const QString& filePath);
};
