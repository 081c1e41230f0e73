#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>

// Inflates an uploaded report and checks it to its very end: a gzip body
// must carry its trailer (whose CRC and length zlib checks) and nothing may
// follow the compressed stream. A body cut short, damaged, padded or
// inflating past the limit is refused as a whole.
class ReportInflater {
public:
    // "gzip" is RFC 1952, "deflate" the zlib stream of RFC 1950 (what zlib's
    // compress() writes, as the application's uploader does).
    enum class Format { Gzip, Zlib };

    // The format a Content-Encoding names, if it is one we take.
    static std::optional<Format> formatFor(std::string_view contentEncoding);
    // The inflated bytes, or nothing with the reason in *error.
    static std::optional<QByteArray> inflate(const QByteArray& data, Format format, qsizetype limit,
                                             QString* error);
};
