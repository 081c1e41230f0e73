#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

// A token bucket per client: each client may take `rate` a second on
// average and `burst` at once. What one client takes leaves the others'
// buckets as they are.
class ClientBuckets {
public:
    using Clock = std::chrono::steady_clock;

    ClientBuckets(double rate, double burst);

    // Takes `amount` from the client's bucket and returns 0; or, when the
    // bucket holds too little, takes nothing and returns the whole seconds
    // until it will hold enough. An amount over the burst is taken as the
    // burst: it passes once the bucket is full.
    int take(const std::string& clientKey, double amount, Clock::time_point now = Clock::now());

    // Clients remembered at most; past it, those whose buckets have filled
    // again are forgotten, and if that is not enough, all are.
    static constexpr std::size_t kMaxClients = 50000;

private:
    struct Bucket {
        double tokens;
        Clock::time_point at;
    };

    double filled(const Bucket& bucket, Clock::time_point now) const;
    void forgetFull(Clock::time_point now);

    const double m_rate;
    const double m_burst;
    std::mutex m_mutex;
    std::unordered_map<std::string, Bucket> m_buckets;
};
