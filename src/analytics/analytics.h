#pragma once

#include <QString>
#include <QStringList>

// The analytics service as the screens and start-up see it: started once at
// launch with the application key, then fire-and-forget events.
class Analytics {
public:
    static void setLogEnabled(bool enabled);
    static void setAppVersion(const QString& version);
    static void startWithAppkey(const QString& appKey, int reportPolicy,
                                const QString& channelId = QString());
    static void event(const QString& eventId);

    static bool isStarted();
    static QString appKey();
    static QString appVersion();
    static int reportPolicy();
    // Events accepted since the start, oldest first.
    static QStringList acceptedEvents();
};
