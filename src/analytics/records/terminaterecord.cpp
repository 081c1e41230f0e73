#include "analytics/records/terminaterecord.h"

QJsonObject TerminateRecord::toJson() const {
    QJsonObject o = BaseRecord::toJson();
    o.insert(QStringLiteral("duration"), duration);
    o.insert(QStringLiteral("activities"), activities);
    if (latitude && longitude) {
        o.insert(QStringLiteral("latitude"), *latitude);
        o.insert(QStringLiteral("longitude"), *longitude);
        if (gps_time)
            o.insert(QStringLiteral("gps_time"), double(*gps_time));
    }
    return o;
}

bool TerminateRecord::readJson(const QJsonObject& o) {
    if (!BaseRecord::readJson(o))
        return false;
    duration = o.value(QLatin1String("duration")).toDouble();
    activities = o.value(QLatin1String("activities")).toArray();
    if (o.contains(QLatin1String("latitude")) && o.contains(QLatin1String("longitude"))) {
        latitude = o.value(QLatin1String("latitude")).toDouble();
        longitude = o.value(QLatin1String("longitude")).toDouble();
    }
    if (o.contains(QLatin1String("gps_time")))
        gps_time = qint64(o.value(QLatin1String("gps_time")).toDouble());
    return true;
}
