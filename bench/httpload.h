#pragma once

#include "samplestats.h"

#include <functional>
#include <string>

// A closed-loop load on one loopback port: each thread keeps one request
// outstanding on a connection of its own, for a bounded time and count, and
// times every request from the first byte written to the last byte read.
class HttpLoad {
public:
    struct Settings {
        int port = 0;
        int connections = 1;
        // False: a new connection for each request, asking the server to
        // close it, and the connect is part of the request's time.
        bool keepAlive = true;
        double seconds = 1.5;
        int maxRequests = 20'000;
        // The whole request (head and body) for a connection's n-th request,
        // built before that request's clock starts; head() writes its
        // "Connection" header to match `keepAlive`.
        std::function<std::string(int connection, int n)> request;
    };

    struct Result {
        int completed = 0;
        int failed = 0;
        double seconds = 0;
        SampleStats latencyMs{{}};
        double requestsPerSecond() const { return seconds > 0 ? completed / seconds : 0.0; }
    };

    static Result run(const Settings& settings);
    // The head of a request with the connection header the load wants;
    // `extraHeaders` end with "\r\n" each.
    static std::string head(const std::string& method, const std::string& target, bool keepAlive,
                            const std::string& extraHeaders = {});
};
