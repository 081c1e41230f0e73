#pragma once

#include <chrono>

// The process's CPU time (user + system, all threads) and the wall time at
// one moment; the difference of two samples gives the share of one core the
// process used in between.
class CpuUsage {
public:
    static CpuUsage sample();

    double seconds() const { return m_cpuSeconds; }
    // Percent of one core used from `earlier` to this sample.
    double percentOfCoreSince(const CpuUsage& earlier) const;
    double wallSecondsSince(const CpuUsage& earlier) const;

private:
    double m_cpuSeconds = 0;
    std::chrono::steady_clock::time_point m_wall;
};
