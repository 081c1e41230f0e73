#include "analytics/analyticsapp.h"

#include "analytics/analyticsservice.h"
#include "analytics/crash/analyticscrash.h"
#include "analytics/records/analyticslog.h"
#include "platform/system/bundle.h"
#include "platform/system/userdefaults.h"

#include <QTimer>

namespace {
const QString kReportPolicyKey = QStringLiteral("report_policy");
const QString kReportIntervalKey = QStringLiteral("analytics_report_interval");
constexpr double kMinInterval = 10.0;
constexpr double kMaxInterval = 86400.0;
} // namespace

AnalyticsApp& AnalyticsApp::sharedInstance() {
    return AnalyticsService::sharedInstance().app();
}

AnalyticsApp::AnalyticsApp(AnalyticsService& service, QString appKey)
    : m_service(service), m_appKey(std::move(appKey)),
      m_appVersion(Bundle::infoValue(QStringLiteral("CFBundleVersion")).toString()) {}

QString AnalyticsApp::appKey() const {
    std::lock_guard lock(m_mutex);
    return m_appKey;
}

void AnalyticsApp::setAppKey(const QString& key) {
    std::lock_guard lock(m_mutex);
    m_appKey = key;
}

QString AnalyticsApp::channel() const {
    std::lock_guard lock(m_mutex);
    return m_channel;
}

void AnalyticsApp::setChannel(const QString& channel) {
    std::lock_guard lock(m_mutex);
    m_channel = channel;
}

QString AnalyticsApp::appVersion() const {
    std::lock_guard lock(m_mutex);
    return m_appVersion;
}

void AnalyticsApp::setAppVersion(const QString& version) {
    std::lock_guard lock(m_mutex);
    m_appVersion = version;
}

int AnalyticsApp::reportPolicy() const {
    const QVariant stored = m_service.defaults().objectForKey(kReportPolicyKey);
    if (stored.isValid())
        return stored.toInt();
    std::lock_guard lock(m_mutex);
    return m_reportPolicy;
}

void AnalyticsApp::setReportPolicy(int policy) {
    std::lock_guard lock(m_mutex);
    m_reportPolicy = policy;
}

double AnalyticsApp::logSendInterval() const {
    std::lock_guard lock(m_mutex);
    return m_logSendInterval;
}

void AnalyticsApp::refreshLogSendInterval() {
    const QVariant stored = m_service.defaults().objectForKey(kReportIntervalKey);
    if (!stored.isValid())
        return;
    double interval = stored.toDouble();
    if (interval < kMinInterval || interval > kMaxInterval)
        interval = kMinInterval;
    std::lock_guard lock(m_mutex);
    m_logSendInterval = interval;
}

QUrl AnalyticsApp::reportUrl() const {
    std::lock_guard lock(m_mutex);
    return m_reportUrl;
}

void AnalyticsApp::setReportUrl(const QUrl& url) {
    std::lock_guard lock(m_mutex);
    m_reportUrl = url;
}

void AnalyticsApp::setCrashReportEnabled(bool enabled) {
    m_postCrashReportEnabled = enabled;
    if (!enabled || m_appCrashedHandlerInstalled.exchange(true))
        return;
    QTimer::singleShot(10, &m_service, [this] { installCrashCapture(); });
}

void AnalyticsApp::installCrashCapture() {
    AnalyticsCrash* crash = m_service.crash();
    if (!crash)
        return;
    if (!crash->installUncaughtExceptionHandler(m_service.cachesFolder(), appVersion()))
        qCWarning(lcAnalytics) << "crash capture is off: its report file cannot be opened";
    else if (logEnabled())
        qCInfo(lcAnalytics) << "crash capture installed";
}
