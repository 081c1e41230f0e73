#include "analytics/records/analyticsrecordlists.h"

#include <QJsonArray>
#include <QStringList>
#include <QtNumeric>
#include <algorithm>

namespace {

template <typename Record> QJsonArray listToJson(const QList<Record>& list) {
    QJsonArray array;
    for (const Record& record : list)
        array.append(record.toJson());
    return array;
}

template <typename Record>
void putList(QJsonObject& body, const char* name, const QList<Record>& list) {
    if (!list.isEmpty())
        body.insert(QLatin1String(name), listToJson(list));
}

// All or nothing per list, like one archive that does or does not decode.
template <typename Record>
void readList(const QJsonObject& body, const char* name, QList<Record>& into,
              QStringList* skipped) {
    const QJsonValue value = body.value(QLatin1String(name));
    if (value.isUndefined())
        return;
    QList<Record> read;
    bool ok = value.isArray();
    for (const QJsonValue element : value.toArray()) {
        Record record;
        if (!element.isObject() || !record.readJson(element.toObject())) {
            ok = false;
            break;
        }
        read.append(std::move(record));
    }
    if (ok)
        into.append(read);
    else if (skipped)
        skipped->append(QLatin1String(name));
}

template <typename Record> void removeMarked(QList<Record>& list) {
    list.removeIf([](const Record& record) { return record.sendingFlag; });
}

template <typename Record> void sortList(QList<Record>& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const Record& a, const Record& b) { return a.ts < b.ts; });
}

// The list whose first record is the oldest, or null when all are empty.
template <typename Record> QList<Record>* oldestOf(std::initializer_list<QList<Record>*> lists) {
    QList<Record>* oldest = nullptr;
    for (QList<Record>* list : lists)
        if (!list->isEmpty() && (!oldest || list->first().ts < oldest->first().ts))
            oldest = list;
    return oldest;
}

} // namespace

bool AnalyticsRecordLists::isEmpty() const {
    return size() == 0 && dropped.isEmpty();
}

qsizetype AnalyticsRecordLists::size() const {
    return launches.size() + terminates.size() + events.size() + errors.size() + ekv.size();
}

void AnalyticsRecordLists::clear() {
    *this = AnalyticsRecordLists();
}

void AnalyticsRecordLists::removeMarkedRecords() {
    removeMarked(launches);
    removeMarked(terminates);
    removeMarked(events);
    removeMarked(errors);
    removeMarked(ekv);
    removeMarked(dropped);
}

void AnalyticsRecordLists::sortByTime() {
    sortList(launches);
    sortList(terminates);
    sortList(events);
    sortList(errors);
    sortList(ekv);
}

qsizetype AnalyticsRecordLists::trimOldest(qsizetype maxRecords) {
    qsizetype excess = size() - maxRecords;
    qsizetype count = 0;
    for (; excess > 0; --excess, ++count) {
        // Events are many and each says little; a launch, an end of use or a
        // crash goes only when no event is left.
        if (QList<EventRecord>* list = oldestOf({&events, &ekv})) {
            list->removeFirst();
            continue;
        }
        const double launch = launches.isEmpty() ? qInf() : launches.first().ts;
        const double end = terminates.isEmpty() ? qInf() : terminates.first().ts;
        const double error = errors.isEmpty() ? qInf() : errors.first().ts;
        if (launch <= end && launch <= error)
            launches.removeFirst();
        else if (end <= error)
            terminates.removeFirst();
        else
            errors.removeFirst();
    }
    return count;
}

bool AnalyticsRecordLists::countDropped(qint64 count, const QString& sessionId, double unixNow) {
    if (count <= 0)
        return false;
    if (!dropped.isEmpty() && !dropped.last().sendingFlag) {
        dropped.last().count += count;
        return false;
    }
    DropRecord tally;
    tally.stamp(QStringLiteral("dropped"), sessionId, unixNow);
    tally.count = count;
    dropped.append(tally);
    return true;
}

qint64 AnalyticsRecordLists::droppedCount() const {
    qint64 sum = 0;
    for (const DropRecord& tally : dropped)
        sum += tally.count;
    return sum;
}

QJsonObject AnalyticsRecordLists::toJson() const {
    QJsonObject body;
    putList(body, "launch", launches);
    putList(body, "terminate", terminates);
    putList(body, "event", events);
    putList(body, "error", errors);
    putList(body, "ekv", ekv);
    putList(body, "dropped", dropped);
    return body;
}

AnalyticsRecordLists AnalyticsRecordLists::fromJson(const QJsonObject& body, ReadOptions options,
                                                    QStringList* skipped) {
    AnalyticsRecordLists lists;
    readList(body, "launch", lists.launches, skipped);
    readList(body, "terminate", lists.terminates, skipped);
    readList(body, "event", lists.events, skipped);
    readList(body, "ekv", lists.ekv, skipped);
    readList(body, "dropped", lists.dropped, skipped);
    if (options.loadErrors)
        readList(body, "error", lists.errors, skipped);
    return lists;
}
