#include "platform/audio/audiorecorder.h"

#include <mutex>

namespace {
std::mutex g_mutex;
AudioRecorder::Factory& factory() {
    static AudioRecorder::Factory f;
    return f;
}
} // namespace

void AudioRecorder::setFactory(Factory f) {
    std::lock_guard lock(g_mutex);
    factory() = std::move(f);
}

std::shared_ptr<AudioRecorder> AudioRecorder::create(const QString& filePath,
                                                     const QVariantMap& settings) {
    Factory f;
    {
        std::lock_guard lock(g_mutex);
        f = factory();
    }
    return f ? f(filePath, settings) : nullptr;
}
