#pragma once

#include "platform/system/notificationcenter.h"

#include <QList>
#include <QString>
#include <atomic>

class AnalyticsService;

// Divides the application's life into sessions: one starts when the
// application becomes active (or 1.0 s after the start, whichever comes
// first) and ends when it resigns active or quits.
class AnalyticsSession {
public:
    // The installed service's.
    static AnalyticsSession& sharedInstance();

    explicit AnalyticsSession(AnalyticsService& service);
    // Stops following the application's activation: no notification reaches
    // a session that is gone.
    ~AnalyticsSession();
    AnalyticsSession(const AnalyticsSession&) = delete;
    AnalyticsSession& operator=(const AnalyticsSession&) = delete;

    void startWithAppkey(const QString& appKey, int reportPolicy, const QString& channelId);

    void startSession();
    // `terminating` for the application quitting, as opposed to resigning.
    void stopSession(bool terminating);
    // Starts the first session unless activation already did.
    void ensureFirstLaunch();

    bool launchHasBegan() const { return m_launchHasBegan; }
    void setLaunchHasBegan(bool began) { m_launchHasBegan = began; }
    bool appInBackGround() const { return m_appInBackGround; }
    bool appBeKilling() const { return m_appBeKilling; }

    static constexpr int kFirstLaunchDelayMs = 1000;

private:
    void addObservers();

    AnalyticsService& m_service;
    QList<NotificationCenter::Id> m_observers; // main thread only
    std::atomic<bool> m_observerAdded{false};
    std::atomic<bool> m_firstStartSessionHasFinished{false};
    std::atomic<bool> m_launchHasBegan{false};
    std::atomic<bool> m_appInBackGround{false};
    std::atomic<bool> m_appBeKilling{false};
};
