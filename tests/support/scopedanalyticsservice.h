#pragma once

#include "analytics/analyticsservice.h"

#include <memory>

// An analytics service that is the installed one for as long as it lives: a
// test function's own, or a benchmark's. The service installed before it
// comes back when it goes. Header-only, so that only the tests and
// benchmarks that use analytics link it.
class ScopedAnalyticsService {
public:
    explicit ScopedAnalyticsService(AnalyticsService::Dependencies dependencies = {})
        : m_service(std::make_unique<AnalyticsService>(std::move(dependencies))),
          m_previous(AnalyticsService::install(m_service.get())) {}
    // The one before is back before this one ends: callers never meet a
    // moment with no service installed.
    ~ScopedAnalyticsService() {
        AnalyticsService::install(m_previous);
        m_service.reset();
    }
    ScopedAnalyticsService(const ScopedAnalyticsService&) = delete;
    ScopedAnalyticsService& operator=(const ScopedAnalyticsService&) = delete;

    AnalyticsService& operator*() const { return *m_service; }
    AnalyticsService* operator->() const { return m_service.get(); }

private:
    std::unique_ptr<AnalyticsService> m_service;
    AnalyticsService* m_previous;
};
