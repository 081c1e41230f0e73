#pragma once

#include <QString>
#include <QStringList>
#include <mutex>

class AnalyticsService;

// Where the screens' events enter the analytics service: an identifier is
// checked before anything is recorded.
class AnalyticsEventLog {
public:
    // The installed service's.
    static AnalyticsEventLog& sharedInstance();

    explicit AnalyticsEventLog(AnalyticsService& service);
    AnalyticsEventLog(const AnalyticsEventLog&) = delete;
    AnalyticsEventLog& operator=(const AnalyticsEventLog&) = delete;

    // False (with the warning) when the identifier is missing, blank or
    // longer than 128 bytes in UTF-8.
    static bool isValidEventId(const QString& eventId);

    void eventJob(const QString& eventId, const QString& label, qint32 acc, qint32 du);

    // Identifiers accepted since the service was built, oldest first.
    QStringList acceptedEvents() const;

    static constexpr int kMaxEventIdBytes = 128;
    // Longer durations are taken for a clock that jumped.
    static constexpr qint32 kMaxDurationMs = 7199999;

private:
    AnalyticsService& m_service;
    mutable std::mutex m_mutex;
    QStringList m_accepted;
};
