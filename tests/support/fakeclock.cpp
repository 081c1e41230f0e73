#include "fakeclock.h"

void FakeClock::sleep(double seconds) {
    if (!m_frozen)
        advance(seconds);
    ++m_sleeps;
    if (m_realPause > 0)
        Clock().sleep(m_realPause);
    if (m_afterSleep)
        m_afterSleep(now());
}
