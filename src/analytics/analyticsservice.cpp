#include "analytics/analyticsservice.h"

#include "analytics/crash/analyticscrash.h"
#include "analytics/records/analyticslog.h"
#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "platform/system/notificationcenter.h"
#include "platform/system/random.h"
#include "platform/system/userdefaults.h"

#include <atomic>

namespace {

// Asked from any thread that logs an event; changed by start-up and tests.
std::atomic<AnalyticsService*>& installation() {
    static std::atomic<AnalyticsService*> service{nullptr};
    return service;
}

// For callers that never installed a service (a screen on its own in a
// test): their events are still checked and kept, and the log says why they
// are not the application's.
AnalyticsService& processDefault() {
    static AnalyticsService* const service = [] {
        qCWarning(lcAnalytics) << "analytics service not installed: calls go to a default one "
                                  "built for this process";
        static AnalyticsService built{AnalyticsService::Dependencies()};
        return &built;
    }();
    return *service;
}

} // namespace

AnalyticsService::AnalyticsService(Dependencies dependencies, QObject* parent)
    : QObject(parent), m_clock(dependencies.clock), m_random(dependencies.random),
      m_defaults(dependencies.defaults ? dependencies.defaults
                                       : &UserDefaults::standardUserDefaults()),
      m_notifications(dependencies.notifications ? dependencies.notifications
                                                 : &NotificationCenter::defaultCenter()),
      m_cachesFolder(dependencies.cachesFolder.isEmpty() ? Folders::caches()
                                                         : dependencies.cachesFolder),
      m_crash(dependencies.crash), m_app(*this, dependencies.appKey),
      m_network(std::move(dependencies.interfaces)), m_job(*this), m_eventLog(*this),
      m_session(*this), m_internal(*this, std::move(dependencies.uploader)) {}

AnalyticsService::~AnalyticsService() {
    AnalyticsService* self = this;
    installation().compare_exchange_strong(self, nullptr);
}

AnalyticsService& AnalyticsService::sharedInstance() {
    if (AnalyticsService* service = installed())
        return *service;
    return processDefault();
}

AnalyticsService* AnalyticsService::installed() {
    return installation().load();
}

AnalyticsService* AnalyticsService::install(AnalyticsService* service) {
    return installation().exchange(service);
}

AnalyticsCrash* AnalyticsService::defaultCrashCapture() {
    return &AnalyticsCrash::sharedInstance();
}

Clock& AnalyticsService::clock() const {
    return m_clock ? *m_clock : Clock::shared();
}

Random& AnalyticsService::random() const {
    return m_random ? *m_random : Random::shared();
}

double AnalyticsService::now() const {
    return clock().now() + Clock::kReferenceDateUnixSeconds;
}
