#include "analytics/analyticssession.h"

#include "analytics/analyticsapp.h"
#include "analytics/analyticsinternal.h"
#include "analytics/analyticslog.h"
#include "platform/system/applicationnotifications.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
const char* const kSdkVersion = "1.0";
}

AnalyticsSession& AnalyticsSession::sharedInstance() {
    static AnalyticsSession session;
    return session;
}

void AnalyticsSession::startWithAppkey(const QString& appKey, int reportPolicy,
                                       const QString& channelId) {
    AnalyticsApp& app = AnalyticsApp::sharedInstance();
    qCInfo(lcAnalytics).noquote() << QStringLiteral("analytics sdk version %1 , app version %2")
                                         .arg(QLatin1String(kSdkVersion), app.appVersion());
    if (appKey.trimmed().isEmpty()) {
        qCWarning(lcAnalytics) << "analytics needs an application key; nothing is started";
        return;
    }
    app.setAppKey(appKey);
    NotificationCenter::defaultCenter().postNotificationName(
        QStringLiteral("analyticsGotAppkeyNotification"), this);
    if (!channelId.trimmed().isEmpty())
        app.setChannel(channelId);
    app.setReportPolicy(reportPolicy);
    addObservers();
    QTimer::singleShot(kFirstLaunchDelayMs, QCoreApplication::instance(),
                       [this] { ensureFirstLaunch(); });
}

void AnalyticsSession::addObservers() {
    if (m_observerAdded.exchange(true))
        return;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(ApplicationNotifications::didBecomeActive(), nullptr,
                       [this](const auto&) { startSession(); });
    center.addObserver(ApplicationNotifications::willResignActive(), nullptr,
                       [this](const auto&) { stopSession(false); });
    center.addObserver(ApplicationNotifications::willTerminate(), nullptr,
                       [this](const auto&) { stopSession(true); });
    AnalyticsApp& app = AnalyticsApp::sharedInstance();
    app.setCrashReportEnabled(app.postCrashReportEnabled());
}

void AnalyticsSession::ensureFirstLaunch() {
    if (!m_firstStartSessionHasFinished)
        startSession();
}

void AnalyticsSession::startSession() {
    m_appInBackGround = false;
    m_firstStartSessionHasFinished = true;
    AnalyticsInternal::sharedInstance().appLaunch();
}

void AnalyticsSession::stopSession(bool terminating) {
    if (terminating)
        m_appBeKilling = true;
    // A quit right after a resignation, or a resignation before the first
    // session, ends no use: an end-of-use record would be a duplicate or
    // measure from nowhere.
    if (m_appInBackGround.exchange(true) || !m_firstStartSessionHasFinished)
        return;
    // What is left is a use ending in the foreground, a quit included (a
    // window that never became active resigns nothing before it): its
    // records are saved like those of any end of use.
    AnalyticsInternal::sharedInstance().appTerminate();
}
