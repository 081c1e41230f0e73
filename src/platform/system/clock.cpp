#include "platform/system/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::atomic<Clock*> g_override{nullptr};
}

double Clock::now() const {
    using namespace std::chrono;
    const auto sinceEpoch = duration<double>(system_clock::now().time_since_epoch()).count();
    return sinceEpoch - kReferenceDateUnixSeconds;
}

void Clock::sleep(double seconds) {
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

Clock& Clock::shared() {
    static Clock real;
    Clock* override = g_override.load();
    return override ? *override : real;
}

void Clock::setShared(Clock* clock) {
    g_override.store(clock);
}
