#pragma once

#include "analytics/records/analyticsrecordcache.h"
#include "analytics/records/analyticsrecordlists.h"
#include "analytics/report/analyticsreportbuilder.h"

#include <QThreadPool>
#include <QVariantMap>
#include <memory>
#include <mutex>

class AnalyticsService;
class AnalyticsUploader;

// The analytics records of one service and what happens to them: launches
// and ends of use grouped by session, events, crash errors from earlier runs;
// the cache that carries unsent records over to the next launch; and the
// report that carries them to the collector.
//
// Launch, save and report work runs in order on one queue of its own, so a
// save never races the launch that reads the cache back or the report that
// removes what it carried.
class AnalyticsInternal {
public:
    // The installed service's.
    static AnalyticsInternal& sharedInstance();

    // With no uploader, reports are posted to the service's report address.
    AnalyticsInternal(AnalyticsService& service, std::shared_ptr<AnalyticsUploader> uploader);
    // Waits for the queued work, which uses the lists to its end.
    ~AnalyticsInternal();
    AnalyticsInternal(const AnalyticsInternal&) = delete;
    AnalyticsInternal& operator=(const AnalyticsInternal&) = delete;

    QString sessionID() const;
    static QString makeSessionId(double unixNow, const QString& appKey, quint32 first,
                                 quint32 second);

    // A new session began (main thread): the launch work is queued.
    void appLaunch();
    // The session ended (main thread): the end-of-use record, the send
    // decision and the cache save.
    void appTerminate();
    // Keeps an event that passed validation, in the lists as the session's
    // state asks.
    void recordEvent(EventRecord record);
    // A crash of an earlier run, recorded with the image it happened in.
    void error(const QString& crashText, const QVariantMap& imageInfo);
    static QString errorContext(const QString& crashText, const QVariantMap& imageInfo);

    bool hasJob() const;
    // After a run of reports: when the last one went out, and the cache
    // brought in line with what is left.
    void markJobDone();
    // Keeps what is unsent in the cache file, unless the application is
    // already in the background and being killed; with `clean`, memory is
    // then cleared unless a report is under way.
    void saveCacheAndClean(bool clean);

    AnalyticsRecordLists lists() const;
    AnalyticsRecordLists tmpContainer() const;
    AnalyticsRecordCache cache() const;

    // Blocks until the queued launch, save and report work is done; false
    // when `msecs` passed first.
    bool waitForDone(int msecs);
    // Tests hand in their own; the default posts to the report address.
    void setUploader(std::shared_ptr<AnalyticsUploader> uploader);

    static constexpr int kMaxDurationSeconds = 7201;
    static constexpr double kDurationCap = 3600.0;

private:
    double now() const;
    QString newSessionId() const;
    void launchWork(const LaunchRecord& launch);
    void loadCache();
    void collectCrashReports();
    void commitReport();
    AnalyticsReportBuilder::Report buildReport();
    void queueSave(bool clean, bool killing);
    void saveAndClean(bool clean, bool killing);
    void persistAfterReport();
    void writeCache(bool mayWrite);
    void enqueue(std::function<void()> work);
    void keepWithinBound(AnalyticsRecordLists& lists); // m_mutex held

    AnalyticsService& m_service;
    mutable std::mutex m_mutex; // the lists, tmpContainer and session fields
    AnalyticsRecordLists m_lists;
    AnalyticsRecordLists m_tmpContainer;
    QString m_sessionID;
    double m_lastLaunchTime = 0;
    bool m_launchStarted = false;
    bool m_crashReportsCollected = false; // queue only
    std::shared_ptr<AnalyticsUploader> m_uploader;
    QThreadPool m_queue;
};
