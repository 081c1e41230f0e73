#pragma once

#include "platform/system/maintimer.h"

#include <vector>

// Main-thread timers in virtual time: nothing fires until the test advances
// the time, and then every timer that falls due fires at its due time, in
// order, including timers scheduled by the blocks that fire on the way.
class FakeMainTimer : public MainTimer {
public:
    Id schedule(double seconds, Block block) override;
    void cancel(Id id) override;

    void advance(double seconds);
    double now() const { return m_now; }
    int pending() const { return int(m_timers.size()); }
    int fired() const { return m_fired; }
    // Due time of a pending timer, or a negative number for any other id.
    double dueTime(Id id) const;

private:
    struct Entry {
        Id id;
        double due;
        Block block;
    };
    std::vector<Entry> m_timers;
    double m_now = 0;
    Id m_lastId = 0;
    int m_fired = 0;
};
