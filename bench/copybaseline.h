#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// How fast PostgreSQL itself takes records like the collector's: one
// COPY records(...) FROM STDIN over one connection into a database set up by
// the store's own schema code, so with the same indexes and unique key. What
// the collector reaches is measured against it.
class CopyBaseline {
public:
    struct Record {
        QByteArray id;
        QByteArray json; // as a client sends it, with that id
    };
    using RecordText = std::function<Record(int n)>;

    // Records per second of copying `count` records into the empty database
    // at `url`, only the COPY timed; 0 with `why` set when it failed.
    static double recordsPerSecond(const QString& url, const RecordText& record, int count,
                                   QString* why);
};
