#include "analytics/records/baserecord.h"

#include <QDateTime>
#include <QUuid>

void BaseRecord::stamp(const QString& recordType, const QString& sessionId, double unixNow) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(qint64(unixNow * 1000.0));
    id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    type = recordType;
    date = local.toString(QStringLiteral("yyyy-MM-dd"));
    time = local.toString(QStringLiteral("HH:mm:ss"));
    ts = unixNow;
    session_id = sessionId;
    sendingFlag = false;
}

QJsonObject BaseRecord::toJson() const {
    return {{QStringLiteral("id"), id},
            {QStringLiteral("type"), type},
            {QStringLiteral("date"), date},
            {QStringLiteral("time"), time},
            {QStringLiteral("ts"), ts},
            {QStringLiteral("session_id"), session_id},
            {QStringLiteral("sendingFlag"), sendingFlag}};
}

bool BaseRecord::readJson(const QJsonObject& o) {
    const QJsonValue idValue = o.value(QLatin1String("id"));
    const QJsonValue tsValue = o.value(QLatin1String("ts"));
    if (!idValue.isString() || idValue.toString().isEmpty() || !tsValue.isDouble())
        return false;
    id = idValue.toString();
    type = o.value(QLatin1String("type")).toString();
    date = o.value(QLatin1String("date")).toString();
    time = o.value(QLatin1String("time")).toString();
    ts = tsValue.toDouble();
    session_id = o.value(QLatin1String("session_id")).toString();
    sendingFlag = o.value(QLatin1String("sendingFlag")).toBool();
    return true;
}
