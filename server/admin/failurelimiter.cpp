#include "server/admin/failurelimiter.h"

#include <algorithm>

std::chrono::seconds FailureLimiter::blockedFor(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    const auto found = m_windows.find(address);
    if (found == m_windows.end())
        return std::chrono::seconds(0);
    const Clock::duration left = found->second.start + kWindow - now;
    if (left <= Clock::duration::zero()) {
        m_windows.erase(found);
        return std::chrono::seconds(0);
    }
    if (found->second.failures < kMaxFailures)
        return std::chrono::seconds(0);
    // Rounded up: a client told to wait 0 s would come straight back.
    return std::chrono::ceil<std::chrono::seconds>(left);
}

void FailureLimiter::recordFailure(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    auto found = m_windows.find(address);
    if (found != m_windows.end() && now - found->second.start >= kWindow) {
        m_windows.erase(found);
        found = m_windows.end();
    }
    if (found == m_windows.end()) {
        if (m_windows.size() >= kMaxAddresses)
            makeRoom(now);
        found = m_windows.emplace(address, Window{now, 0}).first;
    }
    ++found->second.failures;
}

std::size_t FailureLimiter::trackedAddresses() const {
    std::lock_guard lock(m_mutex);
    return m_windows.size();
}

void FailureLimiter::makeRoom(Clock::time_point now) {
    std::erase_if(m_windows,
                  [now](const auto& entry) { return now - entry.second.start >= kWindow; });
    if (m_windows.size() < kMaxAddresses)
        return;
    const auto oldest =
        std::min_element(m_windows.begin(), m_windows.end(), [](const auto& a, const auto& b) {
            return a.second.start < b.second.start;
        });
    m_windows.erase(oldest);
}
