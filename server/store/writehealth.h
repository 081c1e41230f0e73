#pragma once

#include <atomic>
#include <chrono>
#include <mutex>

class ReportStore;

// Whether reports can be kept now, for a health check: what the last report
// found, and once one has failed, a small write tried at most once a second
// until one succeeds, so that the check comes back on its own when the disk
// has room again, even while no report arrives.
class WriteHealth {
public:
    explicit WriteHealth(ReportStore& store) : m_store(store) {}

    void noteStored(bool ok) { m_failing = !ok; }
    bool writable();

    static constexpr std::chrono::seconds kProbeInterval{1};

private:
    ReportStore& m_store;
    std::atomic<bool> m_failing = false;
    std::mutex m_probeMutex;
    std::chrono::steady_clock::time_point m_lastProbe;
};
