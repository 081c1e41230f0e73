#pragma once

#include "analytics/records/baserecord.h"

// How many records were dropped unsent because the lists were full. A tally
// has an identifier like any record, so one that comes back from the cache
// while memory still holds it is counted once; the next report carries it.
class DropRecord : public BaseRecord {
public:
    qint64 count = 0;

    QJsonObject toJson() const;
    bool readJson(const QJsonObject& object);
};
