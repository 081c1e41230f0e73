#pragma once

#include <QByteArrayView>
#include <QtEndian>

// Reads fixed-size integers from an image's bytes in the image's own byte
// order. Reads outside the bytes give 0, so callers check contains() where a
// short image must be rejected rather than read as zeros.
class ByteReader {
public:
    ByteReader(QByteArrayView bytes, bool bigEndian) : m_bytes(bytes), m_bigEndian(bigEndian) {}

    bool contains(quint64 offset, quint64 size) const {
        const auto total = static_cast<quint64>(m_bytes.size());
        return offset <= total && size <= total - offset;
    }
    QByteArrayView slice(quint64 offset, quint64 size) const {
        return contains(offset, size) ? m_bytes.sliced(qsizetype(offset), qsizetype(size))
                                      : QByteArrayView();
    }
    quint16 u16(quint64 offset) const { return read<quint16>(offset); }
    quint32 u32(quint64 offset) const { return read<quint32>(offset); }
    quint64 u64(quint64 offset) const { return read<quint64>(offset); }
    bool bigEndian() const { return m_bigEndian; }

private:
    template <typename T> T read(quint64 offset) const {
        if (!contains(offset, sizeof(T)))
            return 0;
        const void* at = m_bytes.data() + offset;
        return m_bigEndian ? qFromBigEndian<T>(at) : qFromLittleEndian<T>(at);
    }

    QByteArrayView m_bytes;
    bool m_bigEndian;
};
