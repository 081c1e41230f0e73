#pragma once

#include "platform/system/notificationcenter.h"

#include <QString>
#include <atomic>

// Divides the application's life into sessions: one starts when the
// application becomes active (or 1.0 s after the start, whichever comes
// first) and ends when it resigns active or quits.
class AnalyticsSession {
public:
    static AnalyticsSession& sharedInstance();

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
    AnalyticsSession() = default;
    void addObservers();

    std::atomic<bool> m_observerAdded{false};
    std::atomic<bool> m_firstStartSessionHasFinished{false};
    std::atomic<bool> m_launchHasBegan{false};
    std::atomic<bool> m_appInBackGround{false};
    std::atomic<bool> m_appBeKilling{false};
};
