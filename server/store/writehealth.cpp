#include "server/store/writehealth.h"

#include "server/store/reportstore.h"

bool WriteHealth::writable() {
    if (!m_store.isOpen())
        return false;
    if (!m_failing)
        return true;
    std::lock_guard lock(m_probeMutex);
    const auto now = std::chrono::steady_clock::now();
    if (m_failing && now - m_lastProbe >= kProbeInterval) {
        m_lastProbe = now;
        m_failing = !m_store.probeWrite();
    }
    return !m_failing;
}
