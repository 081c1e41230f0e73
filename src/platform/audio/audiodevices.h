#pragma once

#include "platform/audio/audioplayer.h"
#include "platform/audio/audiorecorder.h"

#include <QString>
#include <QVariantMap>
#include <memory>

// The real audio devices: the microphone and the media player, on Qt
// Multimedia. They live in a module of their own (AudioDevicesModule),
// loaded when a recording or a sound first needs them, because Qt
// Multimedia and the sound server's libraries behind it take some 3 ms of
// every start to load, before the first frame, which needs no sound.
class AudioDevices {
public:
    virtual ~AudioDevices() = default;
    // The recorder lives on the GUI thread, whichever thread lets go of it
    // last.
    virtual std::shared_ptr<AudioRecorder> microphone(const QString& filePath,
                                                      const QVariantMap& settings) = 0;
    // Null for a file that does not exist or cannot be read.
    virtual std::shared_ptr<AudioPlayer> player(const QString& filePath) = 0;
    virtual bool hasAudioInput() = 0;
};

// The module's one entry point, looked up by name.
using CreateAudioDevicesFunction = AudioDevices* (*)();
inline constexpr const char* kCreateAudioDevicesSymbol = "vantoroCreateAudioDevices";
