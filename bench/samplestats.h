#pragma once

#include <vector>

// Order statistics of a sample, by the nearest-rank method.
class SampleStats {
public:
    explicit SampleStats(std::vector<double> values);

    bool isEmpty() const { return m_sorted.empty(); }
    std::size_t count() const { return m_sorted.size(); }
    // p in [0, 100]; 0 for an empty sample.
    double percentile(double p) const;
    double median() const { return percentile(50); }
    double max() const { return m_sorted.empty() ? 0.0 : m_sorted.back(); }
    // In order, smallest first.
    const std::vector<double>& values() const { return m_sorted; }

private:
    std::vector<double> m_sorted;
};
