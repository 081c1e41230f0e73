#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What the server has done since it began, for a Prometheus scrape: answers
// by route and status, the time each took to make, what became of the
// reports, and two levels read at the scrape. Every count is a relaxed
// atomic in a fixed table, so the serving threads never wait on each other
// to count, and no request can add a label value: a path that is not one
// of the fixed routes counts as "other".
class ServerMetrics {
public:
    enum class ReportOutcome { Stored, Refused, Limited, Busy, Unavailable };
    // Levels the scrape reads from the HTTP layer.
    struct Levels {
        long long connectionsOpen = 0;
        long long workerQueueLength = 0;
    };

    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

    // The route a request path counts under.
    static std::size_t routeOf(std::string_view path);
    // The index of "other".
    static std::size_t otherRoute();

    void noteAnswer(std::size_t route, int status, std::chrono::steady_clock::duration took);
    void noteReport(ReportOutcome outcome);
    void noteRecords(long long stored, long long duplicates);
    void noteStoreError();

    // The exposition text (format 0.0.4).
    std::string text(const Levels& levels) const;

private:
    using Count = std::atomic<std::uint64_t>;
    static constexpr std::size_t kRoutes = 17;
    // Every status an answer can have is below this.
    static constexpr std::size_t kStatuses = 600;
    static constexpr std::size_t kBuckets = 13;
    static constexpr std::size_t kOutcomes = 5;

    void writeRequests(std::string& out) const;
    void writeDurations(std::string& out) const;
    void writeReports(std::string& out) const;

    std::array<Count, kRoutes * kStatuses> m_answers{};
    // Per route: the answers within each bucket's bound and above the last
    // (not cumulative: the text adds them up), and the total time.
    std::array<Count, kRoutes*(kBuckets + 1)> m_durations{};
    std::array<Count, kRoutes> m_nanoseconds{};
    std::array<Count, kOutcomes> m_reports{};
    Count m_recordsStored{0};
    Count m_recordsDuplicate{0};
    Count m_storeErrors{0};
};
