#pragma once

#include "analytics/records/baserecord.h"

#include <QJsonArray>
#include <optional>

// The end of a use of the application: how long it lasted, the page views
// collected since the launch, and where it happened when a location is known.
class TerminateRecord : public BaseRecord {
public:
    double duration = 0;
    QJsonArray activities;
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::optional<qint64> gps_time;

    QJsonObject toJson() const;
    bool readJson(const QJsonObject& object);
};
