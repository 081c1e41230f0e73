#pragma once

#include <QByteArrayView>
#include <QVariantMap>
#include <optional>

// Describes a Mach-O image for crash reports on Apple builds: name, load
// address, __TEXT address, UUID and CPU architecture, under the keys the
// report context reads. A pure function over the image's bytes (its header
// and load commands), so it can be checked on any platform.
class MachOImageInfo {
public:
    // Nothing, with a log line, when the header's magic is not a Mach-O one.
    static std::optional<QVariantMap> read(QByteArrayView image, const QString& imagePath,
                                           quintptr baseAddress);
    static QString cpuArch(qint32 cpuType, qint32 cpuSubtype);
};
