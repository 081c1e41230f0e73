#pragma once

#include <QByteArray>
#include <zlib.h>

// Data compressed in one go the way a sender would: windowBits 31 for gzip,
// 15 for zlib's deflate wrapper. Header-only: only the tests that send
// compressed bodies link zlib.
inline QByteArray zlibPacked(const QByteArray& data, int windowBits) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}
