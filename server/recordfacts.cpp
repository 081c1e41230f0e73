#include "server/recordfacts.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

// Year 1 to year 9999: beyond that a day is not a "yyyy-MM-dd".
constexpr double kFirstTs = -62135596800.0;
constexpr double kLastTs = 253402300799.0;

QString text(const QJsonObject& o, QLatin1String name) {
    const QJsonValue value = o.value(name);
    if (!value.isString())
        return {};
    QString s = value.toString();
    if (s.size() > RecordFacts::kMaxText)
        s.truncate(s[RecordFacts::kMaxText - 1].isHighSurrogate() ? RecordFacts::kMaxText - 1
                                                                  : RecordFacts::kMaxText);
    return s;
}

std::optional<double> number(const QJsonObject& o, QLatin1String name) {
    const QJsonValue value = o.value(name);
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return std::nullopt;
    return value.toDouble();
}

} // namespace

QString RecordFacts::dayOf(double ts) {
    if (!(ts >= kFirstTs && ts <= kLastTs))
        return {};
    const qint64 msecs = qint64(std::floor(ts)) * 1000;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).date().toString(Qt::ISODate);
}

RecordFacts RecordFacts::fromJson(QByteArrayView json) {
    RecordFacts facts;
    const QJsonObject o =
        QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), json.size())).object();
    if (o.isEmpty())
        return facts;
    facts.kind = text(o, QLatin1String("type"));
    facts.ts = number(o, QLatin1String("ts"));
    if (facts.ts)
        facts.day = dayOf(*facts.ts);
    if (facts.kind == u"event") {
        facts.eventId = text(o, QLatin1String("event_id"));
        facts.label = text(o, QLatin1String("label"));
        if (facts.label.isEmpty())
            facts.label = QString();
    } else if (facts.kind == u"terminate") {
        facts.duration = number(o, QLatin1String("duration"));
    } else if (facts.kind == u"error") {
        const QJsonValue context = o.value(QLatin1String("context"));
        if (context.isString())
            facts.crash = CrashSignature::fromContext(context.toString());
    }
    return facts;
}
