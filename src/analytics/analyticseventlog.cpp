#include "analytics/analyticseventlog.h"

#include "analytics/analyticsservice.h"
#include "analytics/records/analyticslog.h"

AnalyticsEventLog& AnalyticsEventLog::sharedInstance() {
    return AnalyticsService::sharedInstance().eventLog();
}

AnalyticsEventLog::AnalyticsEventLog(AnalyticsService& service) : m_service(service) {}

bool AnalyticsEventLog::isValidEventId(const QString& eventId) {
    if (!eventId.isNull() && !eventId.trimmed().isEmpty() &&
        eventId.toUtf8().size() <= kMaxEventIdBytes)
        return true;
    // Both values go in in one step: an identifier that holds "%2" itself
    // must come out as it was written.
    qCWarning(lcAnalytics).noquote()
        << QStringLiteral("(Warning) Analytics event_id (%1) max bytes length > %2")
               .arg(eventId.isNull() ? QStringLiteral("(null)") : eventId,
                    QString::number(kMaxEventIdBytes));
    return false;
}

void AnalyticsEventLog::eventJob(const QString& eventId, const QString& label, qint32 acc,
                                 qint32 du) {
    if (!isValidEventId(eventId) || du > kMaxDurationMs)
        return;
    EventRecord record;
    record.event_id = eventId;
    record.label = label;
    record.acc = acc;
    record.du = du;
    {
        std::lock_guard lock(m_mutex);
        m_accepted.append(eventId);
    }
    m_service.internal().recordEvent(std::move(record));
}

QStringList AnalyticsEventLog::acceptedEvents() const {
    std::lock_guard lock(m_mutex);
    return m_accepted;
}
