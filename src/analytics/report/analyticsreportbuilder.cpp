#include "analytics/report/analyticsreportbuilder.h"

#include <QJsonDocument>
#include <cstring>

namespace {

// One record list as a report walks it: from its start, which is its oldest
// record, each record taken being marked as sending.
class Source {
public:
    explicit Source(const char* name) : m_name(name) {}
    virtual ~Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    virtual bool atEnd() const = 0;
    virtual double nextTs() const = 0;
    // The next record, marked, as JSON; `putBack()` undoes it.
    virtual QByteArray takeNext() = 0;
    virtual void putBack() = 0;
    virtual void unmarkAll() = 0;

    // What adding `json` to this list costs in the report, in bytes.
    qsizetype cost(const QByteArray& json) const {
        // The first record brings the list's name, quotes, colon, brackets
        // and comma; every later one a comma.
        return json.size() + (m_items.isEmpty() ? qsizetype(std::strlen(m_name)) + 6 : 1);
    }
    void add(const QByteArray& json) {
        if (!m_items.isEmpty())
            m_items.append(',');
        m_items.append(json);
    }
    void appendTo(QByteArray& report) const {
        if (m_items.isEmpty())
            return;
        report.append('"').append(m_name).append("\":[").append(m_items).append("],");
    }

private:
    const char* m_name;
    QByteArray m_items;
};

template <typename Record> class ListSource : public Source {
public:
    ListSource(const char* name, QList<Record>& list) : Source(name), m_list(list) {}

    bool atEnd() const override { return m_next >= m_list.size(); }
    double nextTs() const override { return m_list.at(m_next).ts; }
    QByteArray takeNext() override {
        Record& record = m_list[m_next++];
        record.sendingFlag = true;
        return QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
    }
    void putBack() override { m_list[--m_next].sendingFlag = false; }
    // A flag left by a report that failed, or read back from the cache,
    // must not make a record that this report leaves out count as carried.
    void unmarkAll() override {
        for (Record& record : m_list)
            record.sendingFlag = false;
    }

private:
    QList<Record>& m_list;
    qsizetype m_next = 0;
};

qint64 markTallies(QList<DropRecord>& tallies) {
    qint64 sum = 0;
    for (DropRecord& tally : tallies) {
        tally.sendingFlag = true;
        sum += tally.count;
    }
    return sum;
}

} // namespace

AnalyticsReportBuilder::Report AnalyticsReportBuilder::build(AnalyticsRecordLists& lists,
                                                             QJsonObject header, Limits limits) {
    ListSource<LaunchRecord> launches("launch", lists.launches);
    ListSource<TerminateRecord> terminates("terminate", lists.terminates);
    ListSource<EventRecord> events("event", lists.events);
    ListSource<ErrorRecord> errors("error", lists.errors);
    ListSource<EventRecord> ekv("ekv", lists.ekv);
    Source* const sources[] = {&launches, &terminates, &events, &errors, &ekv};

    Report report;
    for (Source* source : sources)
        source->unmarkAll();
    report.dropped = markTallies(lists.dropped);
    if (report.dropped > 0)
        header.insert(QStringLiteral("dropped_records"), double(report.dropped));
    const QByteArray headerJson = QJsonDocument(header).toJson(QJsonDocument::Compact);
    qsizetype bytes = headerJson.size() + qsizetype(std::strlen("{\"header\":}"));

    for (;;) {
        // Each list is in time order, so the oldest record left is at the
        // front of one of them.
        Source* next = nullptr;
        for (Source* source : sources)
            if (!source->atEnd() && (!next || source->nextTs() < next->nextTs()))
                next = source;
        if (!next)
            break;
        if (report.records == limits.maxRecords) {
            report.more = true;
            break;
        }
        const QByteArray json = next->takeNext();
        const qsizetype cost = next->cost(json);
        // A record larger than a whole report still goes, alone.
        if (report.records > 0 && bytes + cost > limits.maxBytes) {
            next->putBack();
            report.more = true;
            break;
        }
        next->add(json);
        bytes += cost;
        ++report.records;
    }
    if (report.records == 0 && report.dropped == 0)
        return {};
    report.json.reserve(bytes);
    report.json.append('{');
    for (const Source* source : sources)
        source->appendTo(report.json);
    report.json.append("\"header\":").append(headerJson).append('}');
    return report;
}
