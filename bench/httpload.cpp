#include "httpload.h"

#include "loopbackconnection.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Shared {
    explicit Shared(const HttpLoad::Settings& s)
        : settings(s), deadline(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(s.seconds))) {}

    const HttpLoad::Settings& settings;
    Clock::time_point deadline;
    std::atomic<int> started{0};
    std::atomic<int> failed{0};
    std::mutex mutex;
    std::vector<double> latencyMs;
};

// Takes one of the run's requests; false once the time or the count is up.
bool takeRequest(Shared& shared) {
    if (Clock::now() >= shared.deadline)
        return false;
    return shared.started.fetch_add(1) < shared.settings.maxRequests;
}

void runConnection(Shared& shared, int connection) {
    const HttpLoad::Settings& settings = shared.settings;
    LoopbackConnection http;
    std::vector<double> latencyMs;
    for (int n = 0; takeRequest(shared); ++n) {
        const std::string request = settings.request(connection, n);
        const Clock::time_point start = Clock::now();
        if (!settings.keepAlive)
            http.close();
        const bool ok = http.open(settings.port) && http.exchange(request).status == 200;
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        if (ok)
            latencyMs.push_back(took.count());
        else
            shared.failed.fetch_add(1);
    }
    std::lock_guard lock(shared.mutex);
    shared.latencyMs.insert(shared.latencyMs.end(), latencyMs.begin(), latencyMs.end());
}

} // namespace

HttpLoad::Result HttpLoad::run(const Settings& settings) {
    const Clock::time_point start = Clock::now();
    Shared shared(settings);
    std::vector<std::thread> threads;
    for (int connection = 0; connection < settings.connections; ++connection)
        threads.emplace_back(runConnection, std::ref(shared), connection);
    for (std::thread& thread : threads)
        thread.join();
    Result result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.completed = int(shared.latencyMs.size());
    result.failed = shared.failed.load();
    result.latencyMs = SampleStats(std::move(shared.latencyMs));
    return result;
}

std::string HttpLoad::head(const std::string& method, const std::string& target, bool keepAlive,
                           const std::string& extraHeaders) {
    return method + ' ' + target +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: " + (keepAlive ? "keep-alive" : "close") +
           "\r\n" + extraHeaders + "\r\n";
}
