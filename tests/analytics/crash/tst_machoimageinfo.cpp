#include "analytics/crash/machoimageinfo.h"

#include <QTest>
#include <QtEndian>

namespace {
constexpr quint32 kSegment32 = 1;
constexpr quint32 kSegment64 = 25;
constexpr quint32 kUuid = 27;

// Builds a Mach-O header and load commands in either byte order; a
// big-endian image carries what a little-endian reader sees as the swapped
// magic.
class MachO {
public:
    MachO(bool is64, bool bigEndian, qint32 cpuType, qint32 cpuSubtype)
        : m_is64(is64), m_bigEndian(bigEndian) {
        u32(is64 ? 0xfeedfacf : 0xfeedface);
        u32(quint32(cpuType));
        u32(quint32(cpuSubtype));
        u32(2); // executable
        u32(0); // number of commands, counted as they are added
        u32(0);
        u32(0);
        if (is64)
            u32(0);
    }

    MachO& segment(const QByteArray& name, quint64 vmaddr) {
        const qsizetype start = begin(m_is64 ? kSegment64 : kSegment32);
        m_bytes.append(name.leftJustified(16, '\0', true));
        if (m_is64)
            u64(vmaddr);
        else
            u32(quint32(vmaddr));
        m_bytes.append(m_is64 ? 40 : 28, '\0'); // sizes, protections, sections, flags
        return end(start);
    }
    MachO& uuid(const QByteArray& bytes) {
        const qsizetype start = begin(kUuid);
        m_bytes.append(bytes);
        return end(start);
    }
    // A command whose size field says size, however long it really is.
    MachO& raw(quint32 type, quint32 size) {
        u32(type);
        u32(size);
        ++m_count;
        put(16, m_count);
        return *this;
    }
    QByteArray bytes() const { return m_bytes; }

private:
    qsizetype begin(quint32 type) {
        const qsizetype start = m_bytes.size();
        u32(type);
        u32(0);
        return start;
    }
    MachO& end(qsizetype start) {
        put(start + 4, quint32(m_bytes.size() - start));
        put(16, ++m_count);
        return *this;
    }
    void put(qsizetype at, quint32 value) {
        if (m_bigEndian)
            qToBigEndian(value, m_bytes.data() + at);
        else
            qToLittleEndian(value, m_bytes.data() + at);
    }
    void u32(quint32 value) {
        m_bytes.append(4, '\0');
        put(m_bytes.size() - 4, value);
    }
    void u64(quint64 value) {
        m_bytes.append(8, '\0');
        if (m_bigEndian)
            qToBigEndian(value, m_bytes.data() + m_bytes.size() - 8);
        else
            qToLittleEndian(value, m_bytes.data() + m_bytes.size() - 8);
    }

    bool m_is64;
    bool m_bigEndian;
    quint32 m_count = 0;
    QByteArray m_bytes;
};

const QByteArray kUuidBytes = QByteArray::fromHex("8c1f0e2d3b4a59687786a5b4c3d2e1f0");
const QString kUuidText = QStringLiteral("8C1F0E2D-3B4A-5968-7786-A5B4C3D2E1F0");
const QString kPath = QStringLiteral("/var/mobile/Applications/0A1B/Vantoro.app/Vantoro");
} // namespace

// The Mach-O reader of Apple builds, on images built here byte by byte.
class TestMachOImageInfo : public QObject {
    Q_OBJECT

private slots:
    void describesImage_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<qulonglong>("base");
        QTest::addColumn<QVariantMap>("expected");

        QTest::newRow("64-bit arm64") << MachO(true, false, 0x100000c, 0)
                                             .segment("__PAGEZERO", 0)
                                             .segment("__TEXT", 0x100000000)
                                             .segment("__DATA", 0x100008000)
                                             .uuid(kUuidBytes)
                                             .bytes()
                                      << 0x100000000ull
                                      << QVariantMap{{"image_name", "Vantoro"},
                                                     {"image_base_address", "0x100000000"},
                                                     {"slide_address", "0x0000000100000000"},
                                                     {"binary_uuid", kUuidText},
                                                     {"cpu_arch", "arm64"}};
        QTest::newRow("32-bit armv7")
            << MachO(false, false, 12, 9).uuid(kUuidBytes).segment("__TEXT", 0x4000).bytes()
            << 0x4000ull
            << QVariantMap{{"image_name", "Vantoro"},
                           {"image_base_address", "0x00004000"},
                           {"slide_address", "0x00004000"},
                           {"binary_uuid", kUuidText},
                           {"cpu_arch", "armv7"}};
        QTest::newRow("swapped 32-bit powerpc")
            << MachO(false, true, 18, 0).segment("__TEXT", 0x1000).uuid(kUuidBytes).bytes()
            << 0x1000ull
            << QVariantMap{{"image_name", "Vantoro"},
                           {"image_base_address", "0x00001000"},
                           {"slide_address", "0x00001000"},
                           {"binary_uuid", kUuidText},
                           {"cpu_arch", "powerpc"}};
        QTest::newRow("swapped 64-bit x86_64")
            << MachO(true, true, 0x1000007, 3).segment("__TEXT", 0x100000000).bytes()
            << 0x100000000ull
            << QVariantMap{{"image_name", "Vantoro"},
                           {"image_base_address", "0x100000000"},
                           {"slide_address", "0x0000000100000000"},
                           {"cpu_arch", "x86_64"}};
        // Only a segment named exactly __TEXT counts, and only a 24-byte
        // UUID command.
        QTest::newRow("no __TEXT, UUID command of another size")
            << MachO(true, false, 7, 3)
                   .segment("__TEXT_EXEC", 0x2000)
                   .uuid(kUuidBytes + QByteArray(8, '\0'))
                   .bytes()
            << 0x2000ull
            << QVariantMap{{"image_name", "Vantoro"},
                           {"image_base_address", "0x00002000"},
                           {"cpu_arch", "i386"}};
        // A command of size 0 would never advance; the walk ends there.
        QTest::newRow("command of size 0")
            << MachO(true, false, 0x100000c, 0).raw(kSegment64, 0).raw(kUuid, 24).bytes()
            << 0x1000ull
            << QVariantMap{{"image_name", "Vantoro"},
                           {"image_base_address", "0x00001000"},
                           {"cpu_arch", "arm64"}};
        QTest::newRow("commands past the end")
            << MachO(false, false, 12, 6).segment("__TEXT", 0x4000).raw(kUuid, 24).bytes()
            << 0x4000ull
            << QVariantMap{{"image_name", "Vantoro"},
                           {"image_base_address", "0x00004000"},
                           {"slide_address", "0x00004000"},
                           {"cpu_arch", "armv6"}};
    }
    void describesImage() {
        QFETCH(QByteArray, image);
        QFETCH(qulonglong, base);
        QFETCH(QVariantMap, expected);
        const auto info = MachOImageInfo::read(image, kPath, base);
        QVERIFY(info);
        QCOMPARE(*info, expected);
    }

    void rejectsOtherMagic_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("log");
        QTest::newRow("ELF") << QByteArray("\x7f"
                                           "ELF\x02\x01\x01",
                                           7)
                             << "Invalid Mach-O header magic value: 464c457f";
        QTest::newRow("fat binary") << QByteArray::fromHex("cafebabe00000002")
                                    << "Invalid Mach-O header magic value: bebafeca";
        QTest::newRow("empty") << QByteArray() << "Invalid Mach-O header magic value: 0";
    }
    void rejectsOtherMagic() {
        QFETCH(QByteArray, image);
        QFETCH(QString, log);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(log));
        QVERIFY(!MachOImageInfo::read(image, kPath, 0x1000));
    }

    void cpuArch_data() {
        QTest::addColumn<qint32>("type");
        QTest::addColumn<qint32>("subtype");
        QTest::addColumn<QString>("arch");
        QTest::newRow("i386") << 7 << 3 << "i386";
        QTest::newRow("armv6") << 12 << 6 << "armv6";
        QTest::newRow("armv7") << 12 << 9 << "armv7";
        QTest::newRow("armv7s") << 12 << 11 << "armv7s";
        QTest::newRow("other arm") << 12 << 10 << "arm-unknown";
        QTest::newRow("powerpc") << 18 << 0 << "powerpc";
        QTest::newRow("x86_64") << 0x1000007 << 3 << "x86_64";
        QTest::newRow("arm64") << 0x100000c << 0 << "arm64";
        QTest::newRow("powerpc64") << 0x1000012 << 0 << "???";
    }
    void cpuArch() {
        QFETCH(qint32, type);
        QFETCH(qint32, subtype);
        QFETCH(QString, arch);
        QCOMPARE(MachOImageInfo::cpuArch(type, subtype), arch);
    }
};

QTEST_GUILESS_MAIN(TestMachOImageInfo)
#include "tst_machoimageinfo.moc"
