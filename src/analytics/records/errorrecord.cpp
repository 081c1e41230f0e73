#include "analytics/records/errorrecord.h"

QJsonObject ErrorRecord::toJson() const {
    QJsonObject o = BaseRecord::toJson();
    o.insert(QStringLiteral("context"), context);
    return o;
}

bool ErrorRecord::readJson(const QJsonObject& o) {
    const QJsonValue value = o.value(QLatin1String("context"));
    if (!BaseRecord::readJson(o) || !value.isString())
        return false;
    context = value.toString();
    return true;
}
