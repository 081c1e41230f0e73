#pragma once

#include "analytics/analyticsservice.h"

#include <memory>

// An analytics service that is the installed one for as long as it lives: a
// test function's own, or a tool's. The service installed before it comes
// back when it goes.
class ScopedAnalyticsService {
public:
    explicit ScopedAnalyticsService(AnalyticsService::Dependencies dependencies = {});
    ~ScopedAnalyticsService();
    ScopedAnalyticsService(const ScopedAnalyticsService&) = delete;
    ScopedAnalyticsService& operator=(const ScopedAnalyticsService&) = delete;

    AnalyticsService& operator*() const { return *m_service; }
    AnalyticsService* operator->() const { return m_service.get(); }

private:
    std::unique_ptr<AnalyticsService> m_service;
    AnalyticsService* m_previous;
};
