#include "analytics/records/droprecord.h"

QJsonObject DropRecord::toJson() const {
    QJsonObject o = BaseRecord::toJson();
    o.insert(QStringLiteral("count"), double(count));
    return o;
}

bool DropRecord::readJson(const QJsonObject& o) {
    const QJsonValue value = o.value(QLatin1String("count"));
    if (!BaseRecord::readJson(o) || !value.isDouble() || value.toDouble() < 0)
        return false;
    count = qint64(value.toDouble());
    return true;
}
