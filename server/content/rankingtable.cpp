#include "server/content/rankingtable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace {

// A whole number in [low, high], or nothing.
std::optional<int> wholeNumber(const QJsonValue& value, int low, int high) {
    if (!value.isDouble())
        return std::nullopt;
    // In range before it is converted: a double beyond any integer has no
    // integer value to compare with.
    const double d = value.toDouble();
    if (!(d >= low && d <= high) || d != std::floor(d))
        return std::nullopt;
    return int(d);
}

// The parser reports a byte offset; an operator looks for a line.
int lineAt(const QByteArray& text, qsizetype offset) {
    return int(text.left(std::clamp<qsizetype>(offset, 0, text.size())).count('\n')) + 1;
}

} // namespace

std::optional<RankingTable> RankingTable::parse(const QByteArray& json, Error* error) {
    auto fail = [error](const QString& why, int line = 0) {
        if (error)
            *error = {why, line};
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON: %1").arg(parseError.errorString()),
                    lineAt(json, parseError.offset));
    const QJsonObject root = doc.object();
    const QJsonArray list = root.value(QLatin1String("cities")).toArray();
    if (!doc.isObject() || list.isEmpty())
        return fail(QStringLiteral("no \"cities\" list"));

    RankingTable table;
    table.updated = root.value(QLatin1String("updated")).toString();
    table.note = root.value(QLatin1String("note")).toString();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject entry = list.at(i).toObject();
        const QString name = entry.value(QLatin1String("city")).toString().trimmed();
        const auto aqi = wholeNumber(entry.value(QLatin1String("aqi")), 0, 999);
        const auto pm25 = wholeNumber(entry.value(QLatin1String("pm25")), 0, 9999);
        if (name.isEmpty() || !aqi || !pm25)
            return fail(QStringLiteral("entry %1 of \"cities\" needs a city name, an aqi of "
                                       "0..999 and a pm25 of 0..9999")
                            .arg(i + 1));
        table.cities.append({0, name, *aqi, *pm25});
    }
    std::stable_sort(table.cities.begin(), table.cities.end(),
                     [](const City& a, const City& b) { return a.aqi < b.aqi; });
    for (qsizetype i = 0; i < table.cities.size(); ++i)
        table.cities[i].rank = int(i + 1);
    return table;
}

RankingTable::Level RankingTable::levelFor(int aqi) {
    // The six categories of the national air-quality index and their colours.
    if (aqi <= 50)
        return {QStringLiteral("优"), QStringLiteral("#00e400"), QStringLiteral("#1b3a1b")};
    if (aqi <= 100)
        return {QStringLiteral("良"), QStringLiteral("#ffff00"), QStringLiteral("#4a4a00")};
    if (aqi <= 150)
        return {QStringLiteral("轻度污染"), QStringLiteral("#ff7e00"), QStringLiteral("#ffffff")};
    if (aqi <= 200)
        return {QStringLiteral("中度污染"), QStringLiteral("#ff0000"), QStringLiteral("#ffffff")};
    if (aqi <= 300)
        return {QStringLiteral("重度污染"), QStringLiteral("#99004c"), QStringLiteral("#ffffff")};
    return {QStringLiteral("严重污染"), QStringLiteral("#7e0023"), QStringLiteral("#ffffff")};
}
