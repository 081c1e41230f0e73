#include "server/admin/dashboardqueries.h"

#include "server/store/reportstore.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QVariantList between(const DashboardPeriod& period) {
    return {period.fromText(), period.toText()};
}

QString textAt(const QVariantList& row, int column) {
    return row.value(column).isNull() ? QString() : row.value(column).toString();
}

// A crash text as the record carries it, or its whole body when it cannot
// be read: the operator sees what arrived either way.
QString contextOf(const QString& body) {
    const QJsonValue context =
        QJsonDocument::fromJson(body.toUtf8()).object().value(QLatin1String("context"));
    return context.isString() ? context.toString() : body;
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
    figures.events = eventsPerIdentifier(period);
    figures.shares = sharesPerNetwork(period);
    figures.crashes = crashGroups(period);
    figures.error = m_error;
    return figures;
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

QList<DashboardQueries::EventCount>
DashboardQueries::eventsPerIdentifier(const DashboardPeriod& period) {
    QList<EventCount> events;
    for (const QString& id : knownEvents())
        events.append({id, 0});
    const QList<QVariantList> rows =
        select("SELECT event_id, COUNT(*) AS n FROM records WHERE kind = 'event' AND day >= ? "
               "AND day <= ? GROUP BY event_id ORDER BY n DESC, event_id",
               between(period));
    for (const QVariantList& row : rows) {
        const QString id = textAt(row, 0);
        const qint64 count = row.value(1).toLongLong();
        const qsizetype known = id.isNull() ? -1 : knownEvents().indexOf(id);
        if (known >= 0)
            events[known].count = count;
        else
            events.append({id, count});
    }
    return events;
}

QList<DashboardQueries::ShareCount>
DashboardQueries::sharesPerNetwork(const DashboardPeriod& period) {
    QVariantList params = between(period);
    for (const QString& id : shareEvents())
        params << id;
    const QList<QVariantList> rows =
        select("SELECT label, COUNT(*) AS n FROM records WHERE kind = 'event' AND day >= ? AND "
               "day <= ? AND event_id IN (?, ?, ?) GROUP BY label ORDER BY n DESC, label",
               params);
    QList<ShareCount> shares;
    ShareCount unlabelled;
    for (const QVariantList& row : rows) {
        const ShareCount share{textAt(row, 0), row.value(1).toLongLong()};
        if (share.network.isNull())
            unlabelled = share;
        else
            shares.append(share);
    }
    shares.append(unlabelled);
    return shares;
}

QList<DashboardQueries::CrashGroup> DashboardQueries::crashGroups(const DashboardPeriod& period) {
    QList<CrashGroup> groups;
    const QList<QVariantList> rows = select(
        "SELECT crash_group, crash_kind, crash_build, crash_frame, COUNT(*), MIN(ts), "
        "MAX(ts) AS last_seen FROM records WHERE kind = 'error' AND day >= ? AND day <= ? AND "
        "crash_group IS NOT NULL GROUP BY crash_group, crash_kind, crash_build, crash_frame "
        "ORDER BY last_seen DESC, crash_group",
        between(period));
    for (const QVariantList& row : rows)
        groups.append({textAt(row, 0), textAt(row, 1), textAt(row, 2), textAt(row, 3),
                       row.value(4).toLongLong(), row.value(5).toDouble(),
                       row.value(6).toDouble()});
    return groups;
}

QList<DashboardQueries::CrashText> DashboardQueries::crashTexts(const QString& groupKey,
                                                                int limit) {
    QList<CrashText> texts;
    const QList<QVariantList> rows =
        select("SELECT ts, body FROM records WHERE crash_group = ? ORDER BY ts DESC, id DESC "
               "LIMIT ?",
               {groupKey, qMax(0, limit)});
    for (const QVariantList& row : rows)
        texts.append({row.value(0).toDouble(), contextOf(textAt(row, 1))});
    return texts;
}
