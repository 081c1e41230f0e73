#include "samplestats.h"

#include <algorithm>
#include <cmath>

SampleStats::SampleStats(std::vector<double> values) : m_sorted(std::move(values)) {
    std::sort(m_sorted.begin(), m_sorted.end());
}

double SampleStats::percentile(double p) const {
    if (m_sorted.empty())
        return 0.0;
    const auto rank = std::size_t(std::ceil(p / 100.0 * double(m_sorted.size())));
    return m_sorted[std::clamp<std::size_t>(rank, 1, m_sorted.size()) - 1];
}
