#include "platform/system/random.h"

#include <QRandomGenerator>
#include <atomic>

namespace {
std::atomic<Random*> g_override{nullptr};
}

std::uint32_t Random::next() {
    return QRandomGenerator::system()->generate();
}

Random& Random::shared() {
    static Random real;
    Random* override = g_override.load();
    return override ? *override : real;
}

void Random::setShared(Random* random) {
    g_override.store(random);
}
