// The audio devices module's entry: the microphone and the media player.
#include "platform/audio/audiodevices.h"
#include "platform/audio/mediaaudioplayer.h"
#include "platform/audio/microphonerecorder.h"

namespace {

class QtAudioDevices : public AudioDevices {
public:
    std::shared_ptr<AudioRecorder> microphone(const QString& filePath,
                                              const QVariantMap& settings) override {
        return std::shared_ptr<AudioRecorder>(new MicrophoneRecorder(filePath, settings),
                                              [](MicrophoneRecorder* r) { r->deleteLater(); });
    }
    std::shared_ptr<AudioPlayer> player(const QString& filePath) override {
        return MediaAudioPlayer::open(filePath);
    }
    bool hasAudioInput() override { return MicrophoneRecorder::hasAudioInput(); }
};

} // namespace

extern "C" Q_DECL_EXPORT AudioDevices* vantoroCreateAudioDevices() {
    return new QtAudioDevices;
}
