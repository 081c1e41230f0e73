#pragma once

#include "server/admin/dashboardperiod.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class ReportStore;

// The operator's figures, each one plain SQL over the records' fact columns
// (`?` parameters, no date or JSON functions of one database), so that the
// same statements serve any store that keeps those columns.
class DashboardQueries {
public:
    struct DayCount {
        QString day;
        qint64 count = 0;
    };
    struct EndsOfUse {
        qint64 count = 0;
        // Over the ends of use that say how long they lasted; none without.
        std::optional<double> medianSeconds;
    };
    struct EventCount {
        QString eventId; // null for events that carry no identifier
        qint64 count = 0;
    };
    struct ShareCount {
        QString network; // the share event's label; null for events without one
        qint64 count = 0;
    };
    struct CrashGroup {
        QString key;
        QString kind;
        QString buildId;
        QString frame;
        qint64 count = 0;
        double firstSeen = 0;
        double lastSeen = 0;
    };
    struct CrashText {
        double ts = 0;
        // At most kShownCrashText characters of the crash text.
        QString text;
        bool cut = false;
        // The length of the whole record, in characters.
        qint64 recordLength = 0;
    };
    // One day's counts, as the CSV export gives them.
    struct DayFigures {
        QString day;
        qint64 sessions = 0;
        qint64 ends = 0;
        qint64 events = 0;
        qint64 shares = 0;
        qint64 crashes = 0;
    };
    struct Figures {
        DashboardPeriod period;
        QList<DayCount> sessions;
        EndsOfUse ends;
        QList<EventCount> events;
        QList<ShareCount> shares;
        QList<CrashGroup> crashes;
        // What the tables leave out below their top rows.
        qint64 otherEvents = 0;
        qint64 otherShares = 0;
        qint64 otherCrashes = 0;
        QString error = {}; // the first query that failed, or empty
    };

    explicit DashboardQueries(const ReportStore& store);

    Figures figures(const DashboardPeriod& period);

    // Every day of the period, with what its records count.
    QList<DayFigures> figuresPerDay(const DashboardPeriod& period);
    // Launch records per day, every day of the period listed.
    QList<DayCount> sessionsPerDay(const DashboardPeriod& period);
    EndsOfUse endsOfUse(const DashboardPeriod& period);
    // Each table lists its top kTopRows rows; `others`, when given, is what
    // the rest count in all. A report can hold 20,000 identifiers of its own
    // making: the page stays the same size whatever arrives.
    //
    // The known identifiers first, in their order and each listed, then the
    // most frequent others.
    QList<EventCount> eventsPerIdentifier(const DashboardPeriod& period, qint64* others = nullptr);
    // Share events by label, most frequent first, and always one row (null
    // network) for those that carry no label.
    QList<ShareCount> sharesPerNetwork(const DashboardPeriod& period, qint64* others = nullptr);
    // One group per (kind, build, first frame), the one seen last first.
    QList<CrashGroup> crashGroups(const DashboardPeriod& period, qint64* others = nullptr);
    // A group's crash texts, newest first, at any time.
    QList<CrashText> crashTexts(const QString& groupKey, int limit = kMaxCrashTexts);

    // The first failure since this object was made, or empty.
    QString error() const { return m_error; }

    static const QStringList& knownEvents();
    static const QStringList& shareEvents();
    static constexpr int kMaxCrashTexts = 50;
    static constexpr int kTopRows = 20;
    static constexpr int kShownCrashText = 4096;
    // Characters of a crash record read for the page.
    static constexpr int kReadCrashRecord = 16384;

private:
    QList<QVariantList> select(const char* sql, const QVariantList& params);
    qint64 count(const char* sql, const QVariantList& params);

    const ReportStore& m_store;
    QString m_error;
};
