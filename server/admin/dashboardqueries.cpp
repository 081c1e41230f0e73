#include "server/admin/dashboardqueries.h"

#include "server/store/reportstore.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QVariantList between(const DashboardPeriod& period) {
    return {period.fromText(), period.toText()};
}

QString textAt(const QVariantList& row, int column) {
    return row.value(column).isNull() ? QString() : row.value(column).toString();
}

// The text of a JSON string whose end may have been cut off, from its first
// character on; an escape cut in its middle is left out.
QString stringHead(const QString& raw) {
    qsizetype end = raw.size();
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'"') {
            end = i;
            break;
        }
        if (raw[i] == u'\\') {
            const qsizetype length = i + 1 < raw.size() && raw[i + 1] == u'u' ? 6 : 2;
            if (i + length > raw.size()) {
                end = i;
                break;
            }
            i += length - 1;
        }
    }
    const QJsonDocument array =
        QJsonDocument::fromJson(QStringLiteral("[\"%1\"]").arg(raw.first(end)).toUtf8());
    return array.array().at(0).toString();
}

// A crash text as the record carries it (its head when only that was read),
// or the body itself when it cannot be read: the operator sees what arrived
// either way.
QString contextOf(const QString& body) {
    const QJsonValue context =
        QJsonDocument::fromJson(body.toUtf8()).object().value(QLatin1String("context"));
    if (context.isString())
        return context.toString();
    static const QString member = QStringLiteral("\"context\":\"");
    const qsizetype at = body.indexOf(member);
    return at < 0 ? body : stringHead(body.sliced(at + member.size()));
}

} // namespace

DashboardQueries::DashboardQueries(const ReportStore& store) : m_store(store) {}

const QStringList& DashboardQueries::knownEvents() {
    static const QStringList events = {
        QStringLiteral("blow"), QStringLiteral("blow_amount"), QStringLiteral("blow_share"),
        QStringLiteral("haze"), QStringLiteral("haze_amount"), QStringLiteral("haze_share"),
        QStringLiteral("hots"), QStringLiteral("rank"),        QStringLiteral("rank_share"),
    };
    return events;
}

const QStringList& DashboardQueries::shareEvents() {
    static const QStringList events = {QStringLiteral("blow_share"), QStringLiteral("haze_share"),
                                       QStringLiteral("rank_share")};
    return events;
}

QList<QVariantList> DashboardQueries::select(const char* sql, const QVariantList& params) {
    QString error;
    QList<QVariantList> rows = m_store.select(sql, params, &error);
    if (!error.isEmpty() && m_error.isEmpty())
        m_error = error;
    return rows;
}

DashboardQueries::Figures DashboardQueries::figures(const DashboardPeriod& period) {
    Figures figures;
    figures.period = period;
    figures.sessions = sessionsPerDay(period);
    figures.ends = endsOfUse(period);
    figures.events = eventsPerIdentifier(period, &figures.otherEvents);
    figures.shares = sharesPerNetwork(period, &figures.otherShares);
    figures.crashes = crashGroups(period, &figures.otherCrashes);
    figures.error = m_error;
    return figures;
}

qint64 DashboardQueries::count(const char* sql, const QVariantList& params) {
    return select(sql, params).value(0).value(0).toLongLong();
}

// One pass over the period's index entries; CASE rather than a sum of
// comparisons, which only some databases count as numbers.
QList<DashboardQueries::DayFigures> DashboardQueries::figuresPerDay(const DashboardPeriod& period) {
    QVariantList params;
    for (const QString& id : shareEvents())
        params << id;
    params += between(period);
    QHash<QString, DayFigures> counted;
    for (const QVariantList& row :
         select("SELECT day, "
                "SUM(CASE WHEN kind = 'launch' THEN 1 ELSE 0 END), "
                "SUM(CASE WHEN kind = 'terminate' THEN 1 ELSE 0 END), "
                "SUM(CASE WHEN kind = 'event' THEN 1 ELSE 0 END), "
                "SUM(CASE WHEN kind = 'event' AND event_id IN (?, ?, ?) THEN 1 ELSE 0 END), "
                "SUM(CASE WHEN kind = 'error' THEN 1 ELSE 0 END) "
                "FROM records WHERE day >= ? AND day <= ? GROUP BY day",
                params))
        counted.insert(textAt(row, 0), {textAt(row, 0), row.value(1).toLongLong(),
                                        row.value(2).toLongLong(), row.value(3).toLongLong(),
                                        row.value(4).toLongLong(), row.value(5).toLongLong()});
    QList<DayFigures> days;
    for (const QString& day : period.days())
        days.append(counted.value(day, DayFigures{day}));
    return days;
}

QList<DashboardQueries::DayCount> DashboardQueries::sessionsPerDay(const DashboardPeriod& period) {
    QHash<QString, qint64> counts;
    for (const QVariantList& row :
         select("SELECT day, COUNT(*) FROM records WHERE kind = 'launch' AND day >= ? AND "
                "day <= ? GROUP BY day",
                between(period)))
        counts.insert(textAt(row, 0), row.value(1).toLongLong());
    QList<DayCount> days;
    for (const QString& day : period.days())
        days.append({day, counts.value(day)});
    return days;
}

// The median is read as the middle one or two durations in order, which any
// SQL database can give, rather than by a median function only some have.
DashboardQueries::EndsOfUse DashboardQueries::endsOfUse(const DashboardPeriod& period) {
    EndsOfUse ends;
    const QList<QVariantList> counts =
        select("SELECT COUNT(*), COUNT(duration) FROM records WHERE kind = 'terminate' AND "
               "day >= ? AND day <= ?",
               between(period));
    if (counts.isEmpty())
        return ends;
    ends.count = counts[0].value(0).toLongLong();
    const qint64 timed = counts[0].value(1).toLongLong();
    if (timed == 0)
        return ends;
    QVariantList params = between(period);
    params << (timed % 2 == 1 ? 1 : 2) << (timed - 1) / 2;
    const QList<QVariantList> middle =
        select("SELECT duration FROM records WHERE kind = 'terminate' AND day >= ? AND day <= ? "
               "AND duration IS NOT NULL ORDER BY duration LIMIT ? OFFSET ?",
               params);
    // Fewer rows than counted when records were being kept in between.
    if (middle.isEmpty())
        return ends;
    double sum = 0;
    for (const QVariantList& row : middle)
        sum += row.value(0).toDouble();
    ends.medianSeconds = sum / double(middle.size());
    return ends;
}

namespace {

template <typename Row> qint64 summed(const QList<Row>& rows) {
    qint64 sum = 0;
    for (const Row& row : rows)
        sum += row.count;
    return sum;
}

} // namespace

QList<DashboardQueries::EventCount>
DashboardQueries::eventsPerIdentifier(const DashboardPeriod& period, qint64* others) {
    QList<EventCount> events;
    QVariantList params = between(period);
    for (const QString& id : knownEvents()) {
        events.append({id, 0});
        params << id;
    }
    for (const QVariantList& row :
         select("SELECT event_id, COUNT(*) FROM records WHERE kind = 'event' AND day >= ? AND "
                "day <= ? AND event_id IN (?, ?, ?, ?, ?, ?, ?, ?, ?) GROUP BY event_id",
                params))
        events[knownEvents().indexOf(textAt(row, 0))].count = row.value(1).toLongLong();
    params << kTopRows;
    for (const QVariantList& row :
         select("SELECT event_id, COUNT(*) AS n FROM records WHERE kind = 'event' AND day >= ? "
                "AND day <= ? AND (event_id IS NULL OR event_id NOT IN (?, ?, ?, ?, ?, ?, ?, ?, "
                "?)) GROUP BY event_id ORDER BY n DESC, event_id LIMIT ?",
                params))
        events.append({textAt(row, 0), row.value(1).toLongLong()});
    if (others)
        *others = count("SELECT COUNT(*) FROM records WHERE kind = 'event' AND day >= ? AND "
                        "day <= ?",
                        between(period)) -
                  summed(events);
    return events;
}

QList<DashboardQueries::ShareCount>
DashboardQueries::sharesPerNetwork(const DashboardPeriod& period, qint64* others) {
    QVariantList params = between(period);
    for (const QString& id : shareEvents())
        params << id;
    const QByteArray shares = "SELECT label, COUNT(*) AS n FROM records WHERE kind = 'event' AND "
                              "day >= ? AND day <= ? AND event_id IN (?, ?, ?) ";
    QList<ShareCount> rows;
    for (const QVariantList& row :
         select(shares + "AND label IS NOT NULL GROUP BY label ORDER BY n DESC, label LIMIT ?",
                params + QVariantList{kTopRows}))
        rows.append({textAt(row, 0), row.value(1).toLongLong()});
    rows.append({QString(), select(shares + "AND label IS NULL GROUP BY label", params)
                                .value(0)
                                .value(1)
                                .toLongLong()});
    if (others)
        *others = count("SELECT COUNT(*) FROM records WHERE kind = 'event' AND day >= ? AND "
                        "day <= ? AND event_id IN (?, ?, ?)",
                        params) -
                  summed(rows);
    return rows;
}

QList<DashboardQueries::CrashGroup> DashboardQueries::crashGroups(const DashboardPeriod& period,
                                                                  qint64* others) {
    QList<CrashGroup> groups;
    const QList<QVariantList> rows = select(
        "SELECT crash_group, crash_kind, crash_build, crash_frame, COUNT(*), MIN(ts), "
        "MAX(ts) AS last_seen FROM records WHERE kind = 'error' AND day >= ? AND day <= ? AND "
        "crash_group IS NOT NULL GROUP BY crash_group, crash_kind, crash_build, crash_frame "
        "ORDER BY last_seen DESC, crash_group LIMIT ?",
        between(period) + QVariantList{kTopRows});
    for (const QVariantList& row : rows)
        groups.append({textAt(row, 0), textAt(row, 1), textAt(row, 2), textAt(row, 3),
                       row.value(4).toLongLong(), row.value(5).toDouble(),
                       row.value(6).toDouble()});
    if (others)
        *others = count("SELECT COUNT(*) FROM records WHERE kind = 'error' AND day >= ? AND "
                        "day <= ? AND crash_group IS NOT NULL",
                        between(period)) -
                  summed(groups);
    return groups;
}

QList<DashboardQueries::CrashText> DashboardQueries::crashTexts(const QString& groupKey,
                                                                int limit) {
    QList<CrashText> texts;
    // Only the head of each record is read: a record kept before crash texts
    // were cut may be megabytes. (A literal: PostgreSQL has no substr that
    // takes the bigint a parameter is bound as.)
    static_assert(kReadCrashRecord == 16384);
    const QList<QVariantList> rows =
        select("SELECT ts, substr(body, 1, 16384), length(body) FROM records WHERE "
               "crash_group = ? ORDER BY ts DESC, id DESC LIMIT ?",
               {groupKey, qMax(0, limit)});
    for (const QVariantList& row : rows) {
        CrashText text{row.value(0).toDouble(), contextOf(textAt(row, 1)), false,
                       row.value(2).toLongLong()};
        text.cut = text.text.size() > kShownCrashText || text.recordLength > kReadCrashRecord;
        if (text.text.size() > kShownCrashText)
            text.text.truncate(text.text[kShownCrashText - 1].isHighSurrogate()
                                   ? kShownCrashText - 1
                                   : kShownCrashText);
        texts.append(text);
    }
    return texts;
}
