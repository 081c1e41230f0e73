#pragma once

#include "platform/system/clock.h"

#include <atomic>
#include <functional>

// Virtual time: sleeping advances the clock at once. An optional hook runs
// after every sleep, at the new time (to stop a detector mid-blow, or to run
// the main queue as the GUI thread would between polls).
class FakeClock : public Clock {
public:
    explicit FakeClock(double start = 1000.0) : m_now(start) {}

    double now() const override { return m_now.load(); }
    void sleep(double seconds) override;
    void advance(double seconds) { m_now.fetch_add(seconds); }

    // Also waits this long in real time per sleep, so that real threads get
    // to interleave.
    // Tests change these while pool threads sleep on the clock, hence atomic.
    void setRealPause(double seconds) { m_realPause = seconds; }
    // A frozen clock still counts sleeps but never advances: a waiting loop
    // then polls until it is stopped.
    void setFrozen(bool frozen) { m_frozen = frozen; }
    void setAfterSleep(std::function<void(double now)> hook) { m_afterSleep = std::move(hook); }
    int sleeps() const { return m_sleeps; }

private:
    std::atomic<double> m_now;
    std::atomic<int> m_sleeps{0};
    std::atomic<double> m_realPause{0};
    std::atomic<bool> m_frozen{false};
    std::function<void(double)> m_afterSleep;
};
