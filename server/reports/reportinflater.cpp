#include "server/reports/reportinflater.h"

#include <zlib.h>

namespace {

constexpr qsizetype kStep = 64 * 1024;

// Ends the zlib stream however the function leaves.
struct InflateStream {
    z_stream z{};
    bool ready = false;
    ~InflateStream() {
        if (ready)
            inflateEnd(&z);
    }
};

} // namespace

std::optional<ReportInflater::Format> ReportInflater::formatFor(std::string_view contentEncoding) {
    if (contentEncoding == "gzip")
        return Format::Gzip;
    if (contentEncoding == "deflate")
        return Format::Zlib;
    return std::nullopt;
}

std::optional<QByteArray> ReportInflater::inflate(const QByteArray& data, Format format,
                                                  qsizetype limit, QString* error) {
    InflateStream stream;
    // 15 window bits for a zlib stream; 16 more ask zlib for gzip only.
    if (inflateInit2(&stream.z, format == Format::Gzip ? 15 + 16 : 15) != Z_OK) {
        *error = QStringLiteral("the inflater could not start");
        return std::nullopt;
    }
    stream.ready = true;
    stream.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.z.avail_in = uInt(data.size());
    QByteArray out;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        // One byte of room past the limit tells a body at the limit from one over it.
        const qsizetype room = std::min(kStep, limit + 1 - out.size());
        const qsizetype before = out.size();
        out.resize(before + room);
        stream.z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        stream.z.avail_out = uInt(room);
        rc = ::inflate(&stream.z, Z_NO_FLUSH);
        out.resize(before + room - qsizetype(stream.z.avail_out));
        if (out.size() > limit) {
            *error = QStringLiteral("the report inflates past %1 bytes").arg(limit);
            return std::nullopt;
        }
        if (rc == Z_BUF_ERROR || (rc == Z_OK && stream.z.avail_in == 0 && stream.z.avail_out > 0)) {
            *error = QStringLiteral("the compressed report ends before its end");
            return std::nullopt;
        }
        if (rc != Z_OK && rc != Z_STREAM_END) {
            *error = QStringLiteral("the report is not valid compressed data");
            return std::nullopt;
        }
    }
    if (stream.z.avail_in != 0) {
        *error = QStringLiteral("bytes follow the end of the compressed report");
        return std::nullopt;
    }
    return out;
}
