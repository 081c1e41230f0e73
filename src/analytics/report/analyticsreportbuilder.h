#pragma once

#include "analytics/records/analyticsrecordlists.h"

#include <QByteArray>
#include <QJsonObject>

// Builds one report from the record lists: the oldest records first, as many
// as fit in a bounded number of records and bytes, so that a backlog of any
// size goes out as reports that the collector accepts, one after another.
class AnalyticsReportBuilder {
public:
    struct Limits {
        qsizetype maxRecords;
        qsizetype maxBytes;
    };

    struct Report {
        QByteArray json; // empty when there is nothing to send
        qsizetype records = 0;
        qint64 dropped = 0;
        // Records were left out for want of room.
        bool more = false;
    };

    // Marks exactly what the report carries as sending: the records chosen
    // and every drop tally, whose sum goes into the header as
    // "dropped_records".
    static Report build(AnalyticsRecordLists& lists, QJsonObject header,
                        Limits limits = {kMaxRecords, kMaxBytes});

    // Far below the collector's limits (8 MiB inflated, 1 MiB compressed),
    // and small enough that one report takes a fraction of a second.
    static constexpr qsizetype kMaxRecords = 5000;
    static constexpr qsizetype kMaxBytes = 512 * 1024;
};
