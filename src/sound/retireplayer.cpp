#include "sound/retireplayer.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
// Measured with the GStreamer media backend on PulseAudio: releasing the old
// player in the same event-loop turn as the next one starts made a 0.39 s
// sound take 1.6 to 1.8 s to play; 10 ms later it took 0.53 s, as with no
// release at all. A second leaves a wide margin and keeps at most a few
// silent players alive.
constexpr int kHoldMilliseconds = 1000;
} // namespace

void retirePlayer(std::shared_ptr<AudioPlayer> player) {
    if (!player)
        return;
    if (player->isPlaying())
        player->stop();
    // Housekeeping, not behaviour: a real timer even where tests run the
    // main-thread timers in virtual time.
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(kHoldMilliseconds, app, [player = std::move(player)] {});
}
