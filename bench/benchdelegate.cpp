#include "benchdelegate.h"

#include "platform/system/clock.h"

void BenchDelegate::BlowAirstart(bool started) {
    if (m_onStart)
        m_onStart(started);
}

void BenchDelegate::BlowAirupdataState(float level) {
    m_updates.push_back({Clock::shared().now(), int(level)});
}

void BenchDelegate::BlowCurrentTotal(int capacity) {
    m_lastCapacity = capacity;
}

void BenchDelegate::BlowAirOver(int capacity, int) {
    m_lastCapacity = capacity;
    ++m_ends;
    emit finished();
}

void BenchDelegate::wasInterrupt() {}

void BenchDelegate::waitBlewTimeOut() {
    ++m_timeouts;
    emit finished();
}
