#pragma once

#include <QString>
#include <QUrl>
#include <atomic>
#include <mutex>

class AnalyticsService;

// The analytics service's settings for this application: key, channel,
// version, report policy and send interval, where reports go, and the crash
// capture switches.
class AnalyticsApp {
public:
    // The installed service's.
    static AnalyticsApp& sharedInstance();

    AnalyticsApp(AnalyticsService& service, QString appKey);
    AnalyticsApp(const AnalyticsApp&) = delete;
    AnalyticsApp& operator=(const AnalyticsApp&) = delete;

    QString appKey() const;
    void setAppKey(const QString& key);
    QString channel() const;
    void setChannel(const QString& channel);
    QString appVersion() const;
    void setAppVersion(const QString& version);
    bool logEnabled() const { return m_logEnabled; }
    void setLogEnabled(bool enabled) { m_logEnabled = enabled; }

    // The online configuration's "report_policy" wins over the start value.
    int reportPolicy() const;
    void setReportPolicy(int policy);
    // Seconds between reports for the interval policy; re-read from the
    // user defaults before each decision.
    double logSendInterval() const;
    void refreshLogSendInterval();

    QUrl reportUrl() const;
    void setReportUrl(const QUrl& url);

    bool postCrashReportEnabled() const { return m_postCrashReportEnabled; }
    // Turned on, installs the service's crash capture 0.01 s later on the
    // service's thread; the capture then stays for the life of the process.
    void setCrashReportEnabled(bool enabled);

    static constexpr double kDefaultSendInterval = 90.0;

private:
    void installCrashCapture();

    AnalyticsService& m_service;
    mutable std::mutex m_mutex;
    QString m_appKey;
    QString m_channel = QStringLiteral("App Store");
    QString m_appVersion;
    int m_reportPolicy = 0;
    double m_logSendInterval = kDefaultSendInterval;
    QUrl m_reportUrl;
    std::atomic<bool> m_logEnabled{false};
    std::atomic<bool> m_postCrashReportEnabled{true};
    std::atomic<bool> m_appCrashedHandlerInstalled{false};
};
