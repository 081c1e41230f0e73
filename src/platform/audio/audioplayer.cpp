#include "platform/audio/audioplayer.h"

#include <mutex>

namespace {
std::mutex g_mutex;
AudioPlayer::Factory& factory() {
    static AudioPlayer::Factory f;
    return f;
}
} // namespace

void AudioPlayer::setFactory(Factory f) {
    std::lock_guard lock(g_mutex);
    factory() = std::move(f);
}

std::shared_ptr<AudioPlayer> AudioPlayer::create(const QString& filePath) {
    Factory f;
    {
        std::lock_guard lock(g_mutex);
        f = factory();
    }
    return f ? f(filePath) : nullptr;
}
