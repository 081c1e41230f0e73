#include "server/metrics/servermetrics.h"

#include <algorithm>
#include <cstdio>

namespace {

// The routes the server has, as the routers know them; whatever else a
// client asks for is "other", the last.
constexpr std::array<std::string_view, 17> kRouteNames = {
    "/",
    "/healthz",
    "/wechat/getPm25CentralIssue.do",
    "/wechat/article.do",
    "/wechat/getPm25Rank.do",
    "/wechat/capacityPmShare.do",
    "/wechat/getPm25Capacity.do",
    "/analytics/report",
    "/admin",
    "/admin/login",
    "/admin/logout",
    "/admin/crashes",
    "/admin/ranking",
    "/admin/export/figures.csv",
    "/admin/export/records.ndjson",
    "/metrics",
    "other",
};

// From a page served out of memory to a report of thousands of records.
constexpr std::array<double, 13> kBounds = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                            0.1,    0.25,  0.5,    1,     2.5,  5};
constexpr std::array<const char*, 13> kBoundLabels = {"0.0005", "0.001", "0.0025", "0.005", "0.01",
                                                      "0.025",  "0.05",  "0.1",    "0.25",  "0.5",
                                                      "1",      "2.5",   "5"};

constexpr std::array<const char*, 5> kOutcomeNames = {"stored", "refused", "limited", "busy",
                                                      "unavailable"};

constexpr auto kRelaxed = std::memory_order_relaxed;

void writeHeader(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void writeValue(std::string& out, const std::string& series, std::uint64_t value) {
    out += series;
    out += ' ';
    out += std::to_string(value);
    out += '\n';
}

std::string routeLabel(std::size_t route) {
    return "route=\"" + std::string(kRouteNames[route]) + '"';
}

std::string seconds(std::uint64_t nanoseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9f", double(nanoseconds) / 1e9);
    return text;
}

} // namespace

std::size_t ServerMetrics::routeOf(std::string_view path) {
    // The tables above and the counters' sizes must agree.
    static_assert(kRouteNames.size() == kRoutes && kBounds.size() == kBuckets &&
                  kBoundLabels.size() == kBuckets && kOutcomeNames.size() == kOutcomes);
    for (std::size_t route = 0; route + 1 < kRouteNames.size(); ++route)
        if (kRouteNames[route] == path)
            return route;
    return otherRoute();
}

std::size_t ServerMetrics::otherRoute() {
    return kRouteNames.size() - 1;
}

void ServerMetrics::noteAnswer(std::size_t route, int status,
                               std::chrono::steady_clock::duration took) {
    if (route >= kRoutes)
        route = otherRoute();
    const std::size_t code =
        status > 0 && std::size_t(status) < kStatuses ? std::size_t(status) : 0;
    m_answers[route * kStatuses + code].fetch_add(1, kRelaxed);
    const double secondsTaken = std::chrono::duration<double>(took).count();
    std::size_t bucket = 0;
    while (bucket < kBuckets && secondsTaken > kBounds[bucket])
        ++bucket;
    m_durations[route * (kBuckets + 1) + bucket].fetch_add(1, kRelaxed);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(took).count();
    m_nanoseconds[route].fetch_add(std::uint64_t(std::max<long long>(nanoseconds, 0)), kRelaxed);
}

void ServerMetrics::noteReport(ReportOutcome outcome) {
    m_reports[std::size_t(outcome)].fetch_add(1, kRelaxed);
}

void ServerMetrics::noteRecords(long long stored, long long duplicates) {
    m_recordsStored.fetch_add(std::uint64_t(std::max(stored, 0LL)), kRelaxed);
    m_recordsDuplicate.fetch_add(std::uint64_t(std::max(duplicates, 0LL)), kRelaxed);
}

void ServerMetrics::noteStoreError() {
    m_storeErrors.fetch_add(1, kRelaxed);
}

std::string ServerMetrics::text(const Levels& levels) const {
    std::string out;
    writeRequests(out);
    writeDurations(out);
    writeReports(out);
    writeHeader(out, "vantoro_http_connections_open", "gauge", "Client connections open now.");
    writeValue(out, "vantoro_http_connections_open", std::uint64_t(levels.connectionsOpen));
    writeHeader(out, "vantoro_worker_queue_length", "gauge",
                "Reports waiting for a worker thread now.");
    writeValue(out, "vantoro_worker_queue_length", std::uint64_t(levels.workerQueueLength));
    return out;
}

// Only the pairs that have occurred: most of the table never does.
void ServerMetrics::writeRequests(std::string& out) const {
    writeHeader(out, "vantoro_http_requests_total", "counter", "Answers by route and status code.");
    for (std::size_t route = 0; route < kRoutes; ++route) {
        for (std::size_t code = 0; code < kStatuses; ++code) {
            const std::uint64_t count = m_answers[route * kStatuses + code].load(kRelaxed);
            if (count == 0)
                continue;
            writeValue(out,
                       "vantoro_http_requests_total{" + routeLabel(route) + ",status=\"" +
                           std::to_string(code) + "\"}",
                       count);
        }
    }
}

void ServerMetrics::writeDurations(std::string& out) const {
    const char* name = "vantoro_http_request_duration_seconds";
    writeHeader(out, name, "histogram", "Time to make each answer, by route.");
    for (std::size_t route = 0; route < kRoutes; ++route) {
        // Read once, so that the buckets, +Inf and the count agree.
        std::array<std::uint64_t, kBuckets + 1> counts{};
        std::uint64_t total = 0;
        for (std::size_t bucket = 0; bucket <= kBuckets; ++bucket)
            total += counts[bucket] = m_durations[route * (kBuckets + 1) + bucket].load(kRelaxed);
        if (total == 0)
            continue;
        const std::string label = routeLabel(route);
        std::uint64_t cumulative = 0;
        for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
            cumulative += counts[bucket];
            writeValue(out,
                       std::string(name) + "_bucket{" + label + ",le=\"" + kBoundLabels[bucket] +
                           "\"}",
                       cumulative);
        }
        writeValue(out, std::string(name) + "_bucket{" + label + ",le=\"+Inf\"}", total);
        out += std::string(name) + "_sum{" + label + "} " +
               seconds(m_nanoseconds[route].load(kRelaxed)) + '\n';
        writeValue(out, std::string(name) + "_count{" + label + '}', total);
    }
}

void ServerMetrics::writeReports(std::string& out) const {
    writeHeader(out, "vantoro_reports_total", "counter",
                "Analytics reports by what became of them.");
    for (std::size_t outcome = 0; outcome < kOutcomes; ++outcome)
        writeValue(out,
                   std::string("vantoro_reports_total{outcome=\"") + kOutcomeNames[outcome] + "\"}",
                   m_reports[outcome].load(kRelaxed));
    writeHeader(out, "vantoro_records_stored_total", "counter", "Report records kept.");
    writeValue(out, "vantoro_records_stored_total", m_recordsStored.load(kRelaxed));
    writeHeader(out, "vantoro_records_duplicate_total", "counter",
                "Report records already kept, sent again.");
    writeValue(out, "vantoro_records_duplicate_total", m_recordsDuplicate.load(kRelaxed));
    writeHeader(out, "vantoro_store_errors_total", "counter",
                "Reports the store was asked to keep and failed to.");
    writeValue(out, "vantoro_store_errors_total", m_storeErrors.load(kRelaxed));
}
