#include "analytics/scopedanalyticsservice.h"

ScopedAnalyticsService::ScopedAnalyticsService(AnalyticsService::Dependencies dependencies)
    : m_service(std::make_unique<AnalyticsService>(std::move(dependencies))),
      m_previous(AnalyticsService::install(m_service.get())) {}

// The one before is back before this one ends: callers never meet a moment
// with no service installed.
ScopedAnalyticsService::~ScopedAnalyticsService() {
    AnalyticsService::install(m_previous);
    m_service.reset();
}
