#pragma once

#include "analytics/records/droprecord.h"
#include "analytics/records/errorrecord.h"
#include "analytics/records/eventrecord.h"
#include "analytics/records/launchrecord.h"
#include "analytics/records/terminaterecord.h"

#include <QJsonObject>
#include <QList>

// The five record lists that reports carry and the cache keeps, under the
// names both use: "launch", "terminate", "event", "error" and "ekv"; and the
// tallies of records dropped because the lists were full ("dropped", kept by
// the cache; a report names their sum in its header).
class AnalyticsRecordLists {
public:
    QList<LaunchRecord> launches;
    QList<TerminateRecord> terminates;
    QList<EventRecord> events;
    QList<ErrorRecord> errors;
    QList<EventRecord> ekv;
    QList<DropRecord> dropped;

    // True when there is neither a record nor a drop to report.
    bool isEmpty() const;
    // The records, tallies not counted.
    qsizetype size() const;
    void clear();

    // Drops the records a report carried (tallies included); those logged
    // since stay.
    void removeMarkedRecords();

    // Puts each list in time order, oldest first; records read back from
    // the cache join the lists after newer ones.
    void sortByTime();
    // Drops the oldest records beyond `maxRecords`, events (plain or keyed)
    // before any other kind, and returns how many. Expects each list in
    // time order.
    qsizetype trimOldest(qsizetype maxRecords);
    // Counts `count` dropped records on the newest tally, or on a new one
    // when there is none or a report under way carries it. True when a new
    // tally was started.
    bool countDropped(qint64 count, const QString& sessionId, double unixNow);
    qint64 droppedCount() const;

    // One entry per non-empty list.
    QJsonObject toJson() const;

    struct ReadOptions {
        bool loadErrors = true;
    };
    // Reads what it can: a list that is not a list of well-formed records is
    // skipped and named in `skipped`, the others are kept.
    static AnalyticsRecordLists fromJson(const QJsonObject& body, ReadOptions options,
                                         QStringList* skipped = nullptr);
};
