#include "blowevents.h"

#include "platform/system/clock.h"

void BlowEvents::BlowAirstart(bool started) {
    m_starts.append(started);
    if (m_onStart)
        m_onStart(started);
}

void BlowEvents::BlowAirupdataState(float level) {
    m_levels.append({Clock::shared().now(), level});
}

void BlowEvents::BlowCurrentTotal(int capacity) {
    m_totals.append(capacity);
}

void BlowEvents::BlowAirOver(int capacity, int ranking) {
    m_ends.append({Clock::shared().now(), capacity, ranking});
}

void BlowEvents::wasInterrupt() {
    ++m_interrupts;
}

void BlowEvents::waitBlewTimeOut() {
    ++m_timeouts;
}
