#include "support/fakeclock.h"

void FakeClock::sleep(double seconds) {
    if (!m_frozen)
        advance(seconds);
    ++m_sleeps;
    if (const double pause = m_realPause; pause > 0)
        Clock().sleep(pause);
    if (m_afterSleep)
        m_afterSleep(now());
}
