#include "support/fakemaintimer.h"

#include <algorithm>

namespace {
// Steps of 0.79 s and 0.01 s must reach a timer due at 0.8 s, although the
// sum rounds to a hair below it in binary.
constexpr double kTolerance = 1e-9;
} // namespace

MainTimer::Id FakeMainTimer::schedule(double seconds, Block block) {
    const Id id = ++m_lastId;
    m_timers.push_back({id, m_now + std::max(0.0, seconds), std::move(block)});
    return id;
}

void FakeMainTimer::cancel(Id id) {
    std::erase_if(m_timers, [id](const Entry& e) { return e.id == id; });
}

void FakeMainTimer::advance(double seconds) {
    const double target = m_now + seconds;
    for (;;) {
        const auto next =
            std::min_element(m_timers.begin(), m_timers.end(), [](const Entry& a, const Entry& b) {
                return a.due < b.due || (a.due == b.due && a.id < b.id);
            });
        if (next == m_timers.end() || next->due > target + kTolerance)
            break;
        m_now = std::max(m_now, next->due);
        Block block = std::move(next->block);
        m_timers.erase(next);
        ++m_fired;
        block();
    }
    m_now = std::max(m_now, target);
}

double FakeMainTimer::dueTime(Id id) const {
    for (const Entry& e : m_timers) {
        if (e.id == id)
            return e.due;
    }
    return -1;
}
