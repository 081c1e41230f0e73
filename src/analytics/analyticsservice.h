#pragma once

#include "analytics/analyticsapp.h"
#include "analytics/analyticseventlog.h"
#include "analytics/analyticsinternal.h"
#include "analytics/analyticsjob.h"
#include "analytics/analyticsnetwork.h"
#include "analytics/analyticssession.h"

#include <QObject>
#include <QString>
#include <memory>

class AnalyticsCrash;
class AnalyticsUploader;
class Clock;
class NotificationCenter;
class Random;
class UserDefaults;

// The analytics service of one application: its settings, sessions, records,
// send decision, record cache and report upload, built with what it depends
// on. The parts reach one another through the service that owns them, so two
// services never share a record, a cache file or a session.
//
// The application builds one at start-up and installs it; `sharedInstance()`
// (and with it the `Analytics` facade and every part's `sharedInstance()`)
// returns the installed one. Timers of the service run on the thread it was
// built on, and end with it.
class AnalyticsService : public QObject {
public:
    // Whatever is left unset is the platform's own.
    struct Dependencies {
        // The application's key, when it is known before the start: the
        // first session's identifier, drawn when the service is built,
        // hashes it, as every later one does.
        QString appKey;
        // Read at each use, so that a clock installed later is followed.
        Clock* clock = nullptr;
        Random* random = nullptr;
        UserDefaults* defaults = nullptr;
        NotificationCenter* notifications = nullptr;
        // Where the record cache and pending crash reports are; the
        // application's caches folder when empty.
        QString cachesFolder;
        // Posts to the report address when none is given.
        std::shared_ptr<AnalyticsUploader> uploader;
        // The system's IPv4 interfaces when empty.
        AnalyticsNetwork::InterfaceLister interfaces;
        // Fault handlers are process-wide: a service without a capture (a
        // test's) leaves them alone.
        AnalyticsCrash* crash = defaultCrashCapture();
    };

    explicit AnalyticsService(Dependencies dependencies, QObject* parent = nullptr);
    // Waits for the queued launch, save and report work; uninstalls itself
    // when it is the installed one.
    ~AnalyticsService() override;

    AnalyticsService(const AnalyticsService&) = delete;
    AnalyticsService& operator=(const AnalyticsService&) = delete;

    // The installed service; with none installed, a warning and a default
    // one built for the rest of the process, so that a caller that never
    // installed one still logs its events.
    static AnalyticsService& sharedInstance();
    static AnalyticsService* installed();
    // Makes `service` (not owned; null for none) the one sharedInstance()
    // returns, and returns the one installed before.
    static AnalyticsService* install(AnalyticsService* service);

    AnalyticsApp& app() { return m_app; }
    AnalyticsNetwork& network() { return m_network; }
    AnalyticsJob& job() { return m_job; }
    AnalyticsEventLog& eventLog() { return m_eventLog; }
    AnalyticsSession& session() { return m_session; }
    AnalyticsInternal& internal() { return m_internal; }

    Clock& clock() const;
    Random& random() const;
    UserDefaults& defaults() const { return *m_defaults; }
    NotificationCenter& notifications() const { return *m_notifications; }
    QString cachesFolder() const { return m_cachesFolder; }
    AnalyticsCrash* crash() const { return m_crash; }
    // Seconds since 1970 by the service's clock.
    double now() const;

private:
    static AnalyticsCrash* defaultCrashCapture();

    // Before the parts, which use them from their first call on.
    Clock* m_clock;
    Random* m_random;
    UserDefaults* m_defaults;
    NotificationCenter* m_notifications;
    QString m_cachesFolder;
    AnalyticsCrash* m_crash;

    // In the order they are built: each one's constructor may use those
    // above it. The internals go first on destruction, waiting for their
    // queue while the parts its work calls are still there.
    AnalyticsApp m_app;
    AnalyticsNetwork m_network;
    AnalyticsJob m_job;
    AnalyticsEventLog m_eventLog;
    AnalyticsSession m_session;
    AnalyticsInternal m_internal;
};
