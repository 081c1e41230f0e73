// Any text as an analytics report, as the report route hands an inflated
// body to the intake. A report that is taken holds records that are whole
// objects of the text, in order, no more of them than the limit; and the
// facts the parser read in its own pass are those that a second reading of
// each record's text gives, since a store keeps either.
#include "fuzz/fuzzcheck.h"
#include "server/reports/reportparser.h"

#include <cstddef>
#include <cstdint>

namespace {

// Small, so that a report with too many records is reached.
constexpr qsizetype kMaxRecords = 8;

bool sameCrash(const std::optional<CrashSignature>& a, const std::optional<CrashSignature>& b) {
    if (a.has_value() != b.has_value())
        return false;
    return !a || (a->kind == b->kind && a->buildId == b->buildId && a->frame == b->frame &&
                  a->groupKey == b->groupKey);
}

bool sameFacts(const RecordFacts& a, const RecordFacts& b) {
    return a.kind == b.kind && a.eventId == b.eventId && a.label == b.label &&
           a.label.isNull() == b.label.isNull() && a.ts == b.ts && a.day == b.day &&
           a.duration == b.duration && sameCrash(a.crash, b.crash);
}

void checkRecords(QByteArrayView text, const UploadedReport& report) {
    FUZZ_CHECK(report.records.size() <= kMaxRecords);
    FUZZ_CHECK(report.droppedRecords >= 0);
    const char* previousEnd = text.data();
    for (const UploadedReport::Record& record : report.records) {
        const QByteArrayView json = record.json;
        FUZZ_CHECK(json.data() >= previousEnd && json.data() + json.size() <= text.end());
        FUZZ_CHECK(json.startsWith('{') && json.endsWith('}'));
        FUZZ_CHECK(record.id.isNull() || !record.id.isEmpty());
        FUZZ_CHECK(record.facts.has_value());
        FUZZ_CHECK(sameFacts(*record.facts, RecordFacts::fromJson(json)));
        previousEnd = json.data() + json.size();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    ReportParser parser(text, kMaxRecords);
    const std::optional<UploadedReport> report = parser.parse();
    if (report) {
        FUZZ_CHECK(parser.failure() == ReportParser::Failure::None);
        checkRecords(text, *report);
    } else {
        FUZZ_CHECK(parser.failure() != ReportParser::Failure::None);
        FUZZ_CHECK(!parser.error().isEmpty());
    }
    return 0;
}
