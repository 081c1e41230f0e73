#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QVariantMap>
#include <optional>

// Describes an ELF image for crash reports: name, load address, address of
// its code, build id and CPU architecture, under the keys the report context
// reads. The build id is what ties a report to the symbols of one build.
class ElfImageInfo {
public:
    struct Identity {
        bool is64 = false;
        quint16 machine = 0;
        // Virtual address of the first loadable segment, where the image
        // asks to be placed; the load bias is added to it at run time.
        quint64 loadAddress = 0;
        // Virtual address of the first executable loadable segment.
        std::optional<quint64> textAddress;
        // Descriptor of the GNU build-id note; empty when the image has none.
        QByteArray buildId;
    };

    // From the bytes of an image file; nothing when they are not ELF or the
    // program headers lie outside them.
    static std::optional<Identity> fromFile(QByteArrayView file);
    // From an image as the loader mapped it into this process: its load bias
    // and program headers (what dl_iterate_phdr reports).
    static std::optional<Identity> fromLoaded(quintptr bias, const void* programHeaders, int count);
    static QVariantMap dictionary(const Identity& identity, const QString& imagePath,
                                  quintptr baseAddress);
    static QString cpuArch(quint16 machine);
    // The running program's own executable; empty if it cannot be read.
    static QVariantMap mainProgram();
};
