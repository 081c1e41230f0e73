#include "analytics/crash/machoimageinfo.h"

#include "analytics/crash/binaryuuid.h"
#include "analytics/crash/bytereader.h"

#include <QFileInfo>

namespace {
constexpr quint32 kMagic32 = 0xfeedface;
constexpr quint32 kMagic64 = 0xfeedfacf;
constexpr quint32 kSegment32 = 1;
constexpr quint32 kSegment64 = 25;
constexpr quint32 kUuid = 27;
constexpr quint32 kUuidCommandSize = 24;
constexpr quint64 kSegmentNameOffset = 8;
constexpr quint64 kSegmentAddressOffset = 24;

bool isText(ByteReader reader, quint64 command) {
    const QByteArrayView name = reader.slice(command + kSegmentNameOffset, 16);
    // The name field is NUL-padded but need not be NUL-terminated.
    return name.size() == 16 && name.first(qstrnlen(name.data(), 16)) == "__TEXT";
}
} // namespace

std::optional<QVariantMap> MachOImageInfo::read(QByteArrayView image, const QString& imagePath,
                                                quintptr baseAddress) {
    QVariantMap info;
    info["image_name"] = QFileInfo(imagePath).fileName();
    info["image_base_address"] =
        QString::asprintf("0x%08lx", static_cast<unsigned long>(baseAddress));

    // The magic as stored tells the byte order: swapped magics mean every
    // field of the image is in the other order.
    const quint32 magic = ByteReader(image, false).u32(0);
    const bool is64 = magic == kMagic64 || magic == qbswap(kMagic64);
    const bool is32 = magic == kMagic32 || magic == qbswap(kMagic32);
    if (!is32 && !is64) {
        qWarning("Invalid Mach-O header magic value: %x", magic);
        return std::nullopt;
    }
    const ByteReader reader(image, magic == qbswap(kMagic32) || magic == qbswap(kMagic64));
    const quint64 headerSize = is64 ? 32 : 28;
    if (!reader.contains(0, headerSize))
        return std::nullopt;

    const quint32 count = reader.u32(16);
    quint64 command = headerSize;
    QByteArrayView uuid;
    for (quint32 i = 0; i < count && reader.contains(command, 8); ++i) {
        const quint32 type = reader.u32(command);
        const quint32 size = reader.u32(command + 4);
        // A command smaller than its own 8-byte prefix would never advance.
        if (size < 8 || !reader.contains(command, size))
            break;
        if (type == kSegment64 && isText(reader, command))
            info["slide_address"] = QString::asprintf(
                "0x%016llx", qulonglong(reader.u64(command + kSegmentAddressOffset)));
        else if (type == kSegment32 && isText(reader, command))
            info["slide_address"] =
                QString::asprintf("0x%08x", reader.u32(command + kSegmentAddressOffset));
        else if (type == kUuid && size == kUuidCommandSize)
            uuid = reader.slice(command + 8, 16);
        command += size;
    }
    if (!uuid.isEmpty())
        info["binary_uuid"] = BinaryUuid::format(uuid);
    info["cpu_arch"] = cpuArch(qint32(reader.u32(4)), qint32(reader.u32(8)));
    return info;
}

QString MachOImageInfo::cpuArch(qint32 cpuType, qint32 cpuSubtype) {
    switch (cpuType) {
    case 7:
        return QStringLiteral("i386");
    case 12:
        switch (cpuSubtype) {
        case 6:
            return QStringLiteral("armv6");
        case 11:
            return QStringLiteral("armv7s");
        case 9:
            return QStringLiteral("armv7");
        default:
            return QStringLiteral("arm-unknown");
        }
    case 18:
        return QStringLiteral("powerpc");
    case 0x1000007:
        return QStringLiteral("x86_64");
    case 0x100000c:
        return QStringLiteral("arm64");
    default:
        return QStringLiteral("???");
    }
}
