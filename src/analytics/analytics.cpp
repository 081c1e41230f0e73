#include "analytics/analytics.h"

#include "analytics/analyticsapp.h"
#include "analytics/crash/analyticscrash.h"
#include "analytics/analyticseventlog.h"
#include "analytics/analyticsinternal.h"
#include "analytics/analyticslog.h"
#include "analytics/analyticssession.h"

Q_LOGGING_CATEGORY(lcAnalytics, "vantoro.analytics")

void Analytics::setLogEnabled(bool enabled) {
    qCInfo(lcAnalytics) << "setLogEnabled" << enabled;
    AnalyticsApp::sharedInstance().setLogEnabled(enabled);
}

void Analytics::setAppVersion(const QString& version) {
    qCInfo(lcAnalytics) << "setAppVersion" << version;
    AnalyticsApp::sharedInstance().setAppVersion(version);
}

void Analytics::startWithAppkey(const QString& appKey, int reportPolicy, const QString& channelId) {
    qCInfo(lcAnalytics) << "startWithAppkey" << appKey << "reportPolicy" << reportPolicy
                        << "channelId" << (channelId.isNull() ? QStringLiteral("nil") : channelId);
    AnalyticsSession::sharedInstance().startWithAppkey(appKey, reportPolicy, channelId);
}

// An event logged before the start is kept like one logged before the first
// session: it waits and goes out with the first launch.
void Analytics::event(const QString& eventId) {
    if (AnalyticsApp::sharedInstance().logEnabled())
        qCInfo(lcAnalytics) << "event" << eventId;
    AnalyticsEventLog::sharedInstance().eventJob(eventId, QString(), 1, 0);
}

void Analytics::setCrashReportEnabled(bool enabled) {
    AnalyticsApp::sharedInstance().setCrashReportEnabled(enabled);
}

void Analytics::setReportUrl(const QUrl& url) {
    AnalyticsApp::sharedInstance().setReportUrl(url);
}

void Analytics::finish(int msecs) {
    if (!AnalyticsInternal::sharedInstance().waitForDone(msecs))
        qCWarning(lcAnalytics) << "analytics work still running at quit; unsaved records may be"
                                  " lost";
    AnalyticsCrash::sharedInstance().removeOwnFile();
}

bool Analytics::isStarted() {
    return !AnalyticsApp::sharedInstance().appKey().isEmpty();
}

QString Analytics::appKey() {
    return AnalyticsApp::sharedInstance().appKey();
}

QString Analytics::appVersion() {
    return AnalyticsApp::sharedInstance().appVersion();
}

int Analytics::reportPolicy() {
    return AnalyticsApp::sharedInstance().reportPolicy();
}

QStringList Analytics::acceptedEvents() {
    return AnalyticsEventLog::sharedInstance().acceptedEvents();
}
