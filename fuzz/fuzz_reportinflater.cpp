// A report body as it comes off the wire: inflated under a limit, then read
// as a report. The first byte picks the format (its lowest bit) and the
// limit (the rest, in KiB, 0 to 127: small limits reach the refusal of a
// body that inflates past them, larger ones take several rounds of the
// inflater's 64 KiB steps); the remaining bytes are the body. The seeds are
// real gzip and zlib streams of small reports behind such a byte.
#include "fuzz/fuzzcheck.h"
#include "server/reports/reportinflater.h"
#include "server/reports/reportparser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto format = data[0] & 1 ? ReportInflater::Format::Gzip : ReportInflater::Format::Zlib;
    const qsizetype limit = qsizetype(data[0] >> 1) * 1024;
    const QByteArray body(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QString error;
    const std::optional<QByteArray> inflated = ReportInflater::inflate(body, format, limit, &error);
    if (!inflated) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    FUZZ_CHECK(inflated->size() <= limit);
    ReportParser parser(*inflated, 8);
    const std::optional<UploadedReport> report = parser.parse();
    FUZZ_CHECK(report.has_value() == (parser.failure() == ReportParser::Failure::None));
    return 0;
}
