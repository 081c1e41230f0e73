#include "analytics/analyticssession.h"

#include "analytics/analyticsservice.h"
#include "analytics/records/analyticslog.h"
#include "platform/system/applicationnotifications.h"

#include <QTimer>

namespace {
const char* const kSdkVersion = "1.0";
}

AnalyticsSession& AnalyticsSession::sharedInstance() {
    return AnalyticsService::sharedInstance().session();
}

AnalyticsSession::AnalyticsSession(AnalyticsService& service) : m_service(service) {}

AnalyticsSession::~AnalyticsSession() {
    for (NotificationCenter::Id id : std::as_const(m_observers))
        m_service.notifications().removeObserver(id);
}

void AnalyticsSession::startWithAppkey(const QString& appKey, int reportPolicy,
                                       const QString& channelId) {
    AnalyticsApp& app = m_service.app();
    qCInfo(lcAnalytics).noquote() << QStringLiteral("analytics sdk version %1 , app version %2")
                                         .arg(QLatin1String(kSdkVersion), app.appVersion());
    if (appKey.trimmed().isEmpty()) {
        qCWarning(lcAnalytics) << "analytics needs an application key; nothing is started";
        return;
    }
    app.setAppKey(appKey);
    m_service.notifications().postNotificationName(QStringLiteral("analyticsGotAppkeyNotification"),
                                                   this);
    if (!channelId.trimmed().isEmpty())
        app.setChannel(channelId);
    app.setReportPolicy(reportPolicy);
    addObservers();
    QTimer::singleShot(kFirstLaunchDelayMs, &m_service, [this] { ensureFirstLaunch(); });
}

void AnalyticsSession::addObservers() {
    if (m_observerAdded.exchange(true))
        return;
    NotificationCenter& center = m_service.notifications();
    m_observers = {center.addObserver(ApplicationNotifications::didBecomeActive(), nullptr,
                                      [this](const auto&) { startSession(); }),
                   center.addObserver(ApplicationNotifications::willResignActive(), nullptr,
                                      [this](const auto&) { stopSession(false); }),
                   center.addObserver(ApplicationNotifications::willTerminate(), nullptr,
                                      [this](const auto&) { stopSession(true); })};
    AnalyticsApp& app = m_service.app();
    app.setCrashReportEnabled(app.postCrashReportEnabled());
}

void AnalyticsSession::ensureFirstLaunch() {
    if (!m_firstStartSessionHasFinished)
        startSession();
}

void AnalyticsSession::startSession() {
    m_appInBackGround = false;
    m_firstStartSessionHasFinished = true;
    m_service.internal().appLaunch();
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
    m_service.internal().appTerminate();
}
