#include "analytics/analytics.h"

#include "analytics/analyticsservice.h"
#include "analytics/crash/analyticscrash.h"
#include "analytics/records/analyticslog.h"

namespace {
AnalyticsService& service() {
    return AnalyticsService::sharedInstance();
}
} // namespace

void Analytics::setLogEnabled(bool enabled) {
    qCInfo(lcAnalytics) << "setLogEnabled" << enabled;
    service().app().setLogEnabled(enabled);
}

void Analytics::setAppVersion(const QString& version) {
    qCInfo(lcAnalytics) << "setAppVersion" << version;
    service().app().setAppVersion(version);
}

void Analytics::startWithAppkey(const QString& appKey, int reportPolicy, const QString& channelId) {
    qCInfo(lcAnalytics) << "startWithAppkey" << appKey << "reportPolicy" << reportPolicy
                        << "channelId" << (channelId.isNull() ? QStringLiteral("nil") : channelId);
    service().session().startWithAppkey(appKey, reportPolicy, channelId);
}

// An event logged before the start is kept like one logged before the first
// session: it waits and goes out with the first launch.
void Analytics::event(const QString& eventId) {
    AnalyticsService& analytics = service();
    if (analytics.app().logEnabled())
        qCInfo(lcAnalytics) << "event" << eventId;
    analytics.eventLog().eventJob(eventId, QString(), 1, 0);
}

void Analytics::setCrashReportEnabled(bool enabled) {
    service().app().setCrashReportEnabled(enabled);
}

void Analytics::setReportUrl(const QUrl& url) {
    service().app().setReportUrl(url);
}

void Analytics::finish(int msecs) {
    AnalyticsService& analytics = service();
    if (!analytics.internal().waitForDone(msecs))
        qCWarning(lcAnalytics) << "analytics work still running at quit; unsaved records may be"
                                  " lost";
    if (AnalyticsCrash* crash = analytics.crash())
        crash->removeOwnFile();
}

bool Analytics::isStarted() {
    return !service().app().appKey().isEmpty();
}

QString Analytics::appKey() {
    return service().app().appKey();
}

QString Analytics::appVersion() {
    return service().app().appVersion();
}

int Analytics::reportPolicy() {
    return service().app().reportPolicy();
}

QStringList Analytics::acceptedEvents() {
    return service().eventLog().acceptedEvents();
}
