#include "server/http/clientbuckets.h"

#include <algorithm>
#include <cmath>

ClientBuckets::ClientBuckets(double rate, double burst) : m_rate(rate), m_burst(burst) {}

int ClientBuckets::take(const std::string& clientKey, double amount, Clock::time_point now) {
    amount = std::min(amount, m_burst);
    std::lock_guard lock(m_mutex);
    if (m_buckets.size() >= kMaxClients && !m_buckets.contains(clientKey))
        forgetFull(now);
    const auto [it, added] = m_buckets.try_emplace(clientKey, Bucket{m_burst, now});
    Bucket& bucket = it->second;
    bucket.tokens = filled(bucket, now);
    bucket.at = now;
    if (bucket.tokens >= amount) {
        bucket.tokens -= amount;
        return 0;
    }
    return std::max(1, int(std::ceil((amount - bucket.tokens) / m_rate)));
}

double ClientBuckets::filled(const Bucket& bucket, Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - bucket.at).count();
    return std::min(m_burst, bucket.tokens + std::max(0.0, seconds) * m_rate);
}

void ClientBuckets::forgetFull(Clock::time_point now) {
    std::erase_if(m_buckets,
                  [&](const auto& entry) { return filled(entry.second, now) >= m_burst; });
    // Every client busy at once: limits are forgotten rather than memory
    // spent without bound.
    if (m_buckets.size() >= kMaxClients)
        m_buckets.clear();
}
