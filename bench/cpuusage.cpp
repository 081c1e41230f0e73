#include "cpuusage.h"

#include <sys/resource.h>

namespace {
double toSeconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}
} // namespace

CpuUsage CpuUsage::sample() {
    CpuUsage usage;
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    usage.m_cpuSeconds = toSeconds(r.ru_utime) + toSeconds(r.ru_stime);
    usage.m_wall = std::chrono::steady_clock::now();
    return usage;
}

double CpuUsage::wallSecondsSince(const CpuUsage& earlier) const {
    return std::chrono::duration<double>(m_wall - earlier.m_wall).count();
}

double CpuUsage::percentOfCoreSince(const CpuUsage& earlier) const {
    const double wall = wallSecondsSince(earlier);
    return wall > 0 ? 100.0 * (m_cpuSeconds - earlier.m_cpuSeconds) / wall : 0.0;
}
