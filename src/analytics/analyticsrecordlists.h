#pragma once

#include "errorrecord.h"
#include "eventrecord.h"
#include "launchrecord.h"
#include "terminaterecord.h"

#include <QJsonObject>
#include <QList>

// The five record lists that reports carry and the cache keeps, under the
// names both use: "launch", "terminate", "event", "error" and "ekv".
class AnalyticsRecordLists {
public:
    QList<LaunchRecord> launches;
    QList<TerminateRecord> terminates;
    QList<EventRecord> events;
    QList<ErrorRecord> errors;
    QList<EventRecord> ekv;

    bool isEmpty() const;
    qsizetype size() const;
    void clear();

    // Marks every record as carried by the report being built.
    void markAllSending();
    // Drops the records a report carried; those logged since stay.
    void removeMarkedRecords();

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
