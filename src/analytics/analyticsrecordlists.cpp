#include "analyticsrecordlists.h"

#include <QJsonArray>
#include <QStringList>

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

template <typename Record> void markList(QList<Record>& list) {
    for (Record& record : list)
        record.sendingFlag = true;
}

template <typename Record> void removeMarked(QList<Record>& list) {
    list.removeIf([](const Record& record) { return record.sendingFlag; });
}

} // namespace

bool AnalyticsRecordLists::isEmpty() const {
    return launches.isEmpty() && terminates.isEmpty() && events.isEmpty() && errors.isEmpty() &&
           ekv.isEmpty();
}

qsizetype AnalyticsRecordLists::size() const {
    return launches.size() + terminates.size() + events.size() + errors.size() + ekv.size();
}

void AnalyticsRecordLists::clear() {
    *this = AnalyticsRecordLists();
}

void AnalyticsRecordLists::markAllSending() {
    markList(launches);
    markList(terminates);
    markList(events);
    markList(errors);
    markList(ekv);
}

void AnalyticsRecordLists::removeMarkedRecords() {
    removeMarked(launches);
    removeMarked(terminates);
    removeMarked(events);
    removeMarked(errors);
    removeMarked(ekv);
}

QJsonObject AnalyticsRecordLists::toJson() const {
    QJsonObject body;
    putList(body, "launch", launches);
    putList(body, "terminate", terminates);
    putList(body, "event", events);
    putList(body, "error", errors);
    putList(body, "ekv", ekv);
    return body;
}

AnalyticsRecordLists AnalyticsRecordLists::fromJson(const QJsonObject& body, ReadOptions options,
                                                    QStringList* skipped) {
    AnalyticsRecordLists lists;
    readList(body, "launch", lists.launches, skipped);
    readList(body, "terminate", lists.terminates, skipped);
    readList(body, "event", lists.events, skipped);
    readList(body, "ekv", lists.ekv, skipped);
    if (options.loadErrors)
        readList(body, "error", lists.errors, skipped);
    return lists;
}
