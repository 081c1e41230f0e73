#include "analytics/records/eventrecord.h"

QJsonObject EventRecord::toJson() const {
    QJsonObject o = BaseRecord::toJson();
    o.insert(QStringLiteral("event_id"), event_id);
    if (!label.isEmpty())
        o.insert(QStringLiteral("label"), label);
    o.insert(QStringLiteral("acc"), acc);
    o.insert(QStringLiteral("du"), du);
    if (!values.isEmpty())
        o.insert(QStringLiteral("values"), QJsonObject::fromVariantMap(values));
    return o;
}

bool EventRecord::readJson(const QJsonObject& o) {
    const QJsonValue id = o.value(QLatin1String("event_id"));
    if (!BaseRecord::readJson(o) || !id.isString())
        return false;
    event_id = id.toString();
    label = o.value(QLatin1String("label")).toString();
    acc = o.value(QLatin1String("acc")).toInt(1);
    du = o.value(QLatin1String("du")).toInt(0);
    values = o.value(QLatin1String("values")).toObject().toVariantMap();
    return true;
}
