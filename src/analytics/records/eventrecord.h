#pragma once

#include "analytics/records/baserecord.h"

#include <QVariantMap>

// One logged event: its identifier, an optional label, a count and a
// duration in milliseconds. Keyed events add their values.
class EventRecord : public BaseRecord {
public:
    QString event_id;
    QString label; // empty when the event has none
    qint32 acc = 1;
    qint32 du = 0;
    QVariantMap values;

    QJsonObject toJson() const;
    bool readJson(const QJsonObject& object);
};
