#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

// Counts wrong admin tokens per client address. The first failure opens a
// window of one minute; the tenth within it closes the door to that address
// until the window is over. Safe to call from every serving thread.
class FailureLimiter {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMaxFailures = 10;
    static constexpr std::chrono::seconds kWindow{60};
    // Addresses tracked at once; beyond this, finished windows are dropped
    // first and then the oldest, so a flood of addresses cannot grow memory.
    static constexpr std::size_t kMaxAddresses = 10000;

    // How long the address is still shut out; zero when it is not.
    std::chrono::seconds blockedFor(const std::string& address,
                                    Clock::time_point now = Clock::now());
    void recordFailure(const std::string& address, Clock::time_point now = Clock::now());
    std::size_t trackedAddresses() const;

private:
    struct Window {
        Clock::time_point start;
        int failures = 0;
    };

    void makeRoom(Clock::time_point now);

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Window> m_windows;
};
