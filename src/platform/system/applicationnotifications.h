#pragma once

#include <QString>

// The names under which the application's activation changes are posted to
// the notification centre.
struct ApplicationNotifications {
    static QString didBecomeActive() {
        return QStringLiteral("UIApplicationDidBecomeActiveNotification");
    }
    static QString willResignActive() {
        return QStringLiteral("UIApplicationWillResignActiveNotification");
    }
    static QString willTerminate() {
        return QStringLiteral("UIApplicationWillTerminateNotification");
    }
};
