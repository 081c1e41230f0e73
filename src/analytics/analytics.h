#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// The analytics service as the screens and start-up see it: started once at
// launch with the application key, then fire-and-forget events. Every call
// goes to the installed service (AnalyticsService::install).
class Analytics {
public:
    static void setLogEnabled(bool enabled);
    static void setAppVersion(const QString& version);
    static void startWithAppkey(const QString& appKey, int reportPolicy,
                                const QString& channelId = QString());
    static void event(const QString& eventId);
    static void setCrashReportEnabled(bool enabled);

    // Where reports are posted (the content server's report address).
    static void setReportUrl(const QUrl& url);
    // At an orderly quit: lets the queued save and report work end (at most
    // `msecs`), and tells crash capture that this run did not crash.
    static void finish(int msecs);

    static bool isStarted();
    static QString appKey();
    static QString appVersion();
    static int reportPolicy();
    // Events accepted since the start, oldest first.
    static QStringList acceptedEvents();
};
