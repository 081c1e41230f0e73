#include "analytics/crash/elfimageinfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>
#include <dlfcn.h>
#include <elf.h>

namespace {
struct Note {
    QByteArray name;
    quint32 type = 0;
    QByteArray desc;
    // A descriptor size that claims more than is there; 0 for the real one.
    quint32 claimedSize = 0;
};

struct Segment {
    quint32 type = PT_LOAD;
    quint32 flags = PF_R;
    quint64 vaddr = 0;
    quint64 align = 4;
    QList<Note> notes;
};

struct Image {
    bool is64 = true;
    bool bigEndian = false;
    quint16 machine = EM_X86_64;
    QList<Segment> segments;
};

quint64 alignUp(quint64 value, quint64 align) {
    return (value + align - 1) & ~(align - 1);
}

class Writer {
public:
    explicit Writer(bool bigEndian) : m_bigEndian(bigEndian) {}
    QByteArray bytes;

    template <typename T> void put(qsizetype at, T value) {
        if (bytes.size() < at + qsizetype(sizeof(T)))
            bytes.resize(at + sizeof(T), '\0');
        if (m_bigEndian)
            qToBigEndian(value, bytes.data() + at);
        else
            qToLittleEndian(value, bytes.data() + at);
    }
    void append(const QByteArray& data, quint64 align) {
        bytes.append(data);
        bytes.resize(alignUp(bytes.size(), align), '\0');
    }

private:
    bool m_bigEndian;
};

QByteArray noteBytes(const QList<Note>& notes, quint64 align, bool bigEndian) {
    Writer w(bigEndian);
    for (const Note& note : notes) {
        const qsizetype start = w.bytes.size();
        w.put<quint32>(start, quint32(note.name.size()));
        w.put<quint32>(start + 4, note.claimedSize ? note.claimedSize : quint32(note.desc.size()));
        w.put<quint32>(start + 8, note.type);
        w.append(note.name, 1);
        w.bytes.resize(alignUp(w.bytes.size(), align), '\0');
        w.append(note.desc, align);
    }
    return w.bytes;
}

QByteArray build(const Image& image) {
    Writer w(image.bigEndian);
    const qsizetype headerSize = image.is64 ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr);
    const qsizetype entrySize = image.is64 ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr);
    w.bytes = QByteArray(headerSize + image.segments.size() * entrySize, '\0');
    w.bytes.replace(0, 6,
                    QByteArray(ELFMAG) + char(image.is64 ? ELFCLASS64 : ELFCLASS32) +
                        char(image.bigEndian ? ELFDATA2MSB : ELFDATA2LSB));
    w.put<quint16>(offsetof(Elf64_Ehdr, e_machine), image.machine);
    if (image.is64) {
        w.put<quint64>(offsetof(Elf64_Ehdr, e_phoff), headerSize);
        w.put<quint16>(offsetof(Elf64_Ehdr, e_phentsize), entrySize);
        w.put<quint16>(offsetof(Elf64_Ehdr, e_phnum), image.segments.size());
    } else {
        w.put<quint32>(offsetof(Elf32_Ehdr, e_phoff), headerSize);
        w.put<quint16>(offsetof(Elf32_Ehdr, e_phentsize), entrySize);
        w.put<quint16>(offsetof(Elf32_Ehdr, e_phnum), image.segments.size());
    }
    for (qsizetype i = 0; i < image.segments.size(); ++i) {
        const Segment& s = image.segments[i];
        w.bytes.resize(alignUp(w.bytes.size(), 8), '\0');
        const quint64 offset = s.type == PT_NOTE ? w.bytes.size() : 0;
        const QByteArray data = noteBytes(s.notes, s.align, image.bigEndian);
        w.append(data, 1);
        const qsizetype at = headerSize + i * entrySize;
        if (image.is64) {
            w.put<quint32>(at + offsetof(Elf64_Phdr, p_type), s.type);
            w.put<quint32>(at + offsetof(Elf64_Phdr, p_flags), s.flags);
            w.put<quint64>(at + offsetof(Elf64_Phdr, p_offset), offset);
            w.put<quint64>(at + offsetof(Elf64_Phdr, p_vaddr), s.vaddr);
            w.put<quint64>(at + offsetof(Elf64_Phdr, p_filesz), data.size());
            w.put<quint64>(at + offsetof(Elf64_Phdr, p_memsz), data.size());
            w.put<quint64>(at + offsetof(Elf64_Phdr, p_align), s.align);
        } else {
            w.put<quint32>(at + offsetof(Elf32_Phdr, p_type), s.type);
            w.put<quint32>(at + offsetof(Elf32_Phdr, p_flags), s.flags);
            w.put<quint32>(at + offsetof(Elf32_Phdr, p_offset), offset);
            w.put<quint32>(at + offsetof(Elf32_Phdr, p_vaddr), s.vaddr);
            w.put<quint32>(at + offsetof(Elf32_Phdr, p_filesz), data.size());
            w.put<quint32>(at + offsetof(Elf32_Phdr, p_memsz), data.size());
            w.put<quint32>(at + offsetof(Elf32_Phdr, p_align), s.align);
        }
    }
    return w.bytes;
}

QByteArray counting(int from, int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(from + i));
    return bytes;
}

const QByteArray kGnu("GNU\0", 4);
const Note kAbiTag{kGnu, NT_GNU_ABI_TAG, QByteArray(16, '\0')};
const Note kBuildId{kGnu, NT_GNU_BUILD_ID, counting(0, 20)};
const QString kBuildUuid = QStringLiteral("00010203-0405-0607-0809-0A0B0C0D0E0F");

Segment load(quint64 vaddr, quint32 flags) {
    return {PT_LOAD, flags, vaddr, 0x1000, {}};
}
Segment notes(quint64 vaddr, QList<Note> list, quint64 align = 4) {
    return {PT_NOTE, PF_R, vaddr, align, list};
}

QString runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLatin1(process.readAllStandardOutput());
}

// An address inside this test's own executable.
void anchor() {}
} // namespace

// Reads build id, code address and architecture from ELF program headers and
// notes, on built images and on this test's own executable.
class TestElfImageInfo : public QObject {
    Q_OBJECT

private slots:
    void describesImage_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qulonglong>("base");
        QTest::addColumn<QVariantMap>("expected");

        QTest::newRow("64-bit arm64, build id after another note")
            << build({true,
                      false,
                      EM_AARCH64,
                      {load(0x400000, PF_R), load(0x401000, PF_R | PF_X),
                       notes(0x400200, {kAbiTag, kBuildId})}})
            << 0x55d0c0de0000ull
            << QVariantMap{{"image_name", "vantoro"},
                           {"image_base_address", "0x55d0c0de0000"},
                           {"slide_address", "0x0000000000401000"},
                           {"binary_uuid", kBuildUuid},
                           {"cpu_arch", "arm64"}};
        QTest::newRow("32-bit big-endian powerpc")
            << build({false,
                      true,
                      EM_PPC,
                      {load(0x10000000, PF_R | PF_X),
                       notes(0x10000100, {{kGnu, NT_GNU_BUILD_ID, counting(0xf0, 16)}})}})
            << 0x1000ull
            << QVariantMap{{"image_name", "vantoro"},
                           {"image_base_address", "0x00001000"},
                           {"slide_address", "0x10000000"},
                           {"binary_uuid", "F0F1F2F3-F4F5-F6F7-F8F9-FAFBFCFDFEFF"},
                           {"cpu_arch", "powerpc"}};
        // The property note pads its name and descriptor to 8 bytes; the
        // build id follows it in the same segment.
        QTest::newRow("notes aligned to 8, after a segment without build id")
            << build({true,
                      false,
                      EM_X86_64,
                      {load(0, PF_R), load(0x1000, PF_R | PF_X), notes(0x300, {kAbiTag}),
                       notes(0x350, {{kGnu, NT_GNU_PROPERTY_TYPE_0, counting(0x70, 12)}, kBuildId},
                             8)}})
            << 0x7f0000001000ull
            << QVariantMap{{"image_name", "vantoro"},
                           {"image_base_address", "0x7f0000001000"},
                           {"slide_address", "0x0000000000001000"},
                           {"binary_uuid", kBuildUuid},
                           {"cpu_arch", "x86_64"}};
        QTest::newRow("build id only under another owner name")
            << build(
                   {true,
                    false,
                    243 /* RISC-V */,
                    {load(0, PF_R), load(0x2000, PF_R | PF_X),
                     notes(0x300, {kAbiTag,
                                   {QByteArray("Go\0\0", 4), NT_GNU_BUILD_ID, counting(0, 20)}})}})
            << 0x1000ull
            << QVariantMap{{"image_name", "vantoro"},
                           {"image_base_address", "0x00001000"},
                           {"slide_address", "0x0000000000002000"},
                           {"cpu_arch", "???"}};
        QTest::newRow("build id shorter than 16 bytes")
            << build({false,
                      false,
                      EM_386,
                      {load(0x8048000, PF_R | PF_X),
                       notes(0x8048100, {{kGnu, NT_GNU_BUILD_ID, counting(0, 8)}})}})
            << 0x8048000ull
            << QVariantMap{{"image_name", "vantoro"},
                           {"image_base_address", "0x08048000"},
                           {"slide_address", "0x08048000"},
                           {"cpu_arch", "i386"}};
        QTest::newRow("no executable segment")
            << build({false, false, EM_ARM, {load(0x10000, PF_R), notes(0x10100, {kBuildId})}})
            << 0x10000ull
            << QVariantMap{{"image_name", "vantoro"},
                           {"image_base_address", "0x00010000"},
                           {"binary_uuid", kBuildUuid},
                           {"cpu_arch", "armv7"}};
        QTest::newRow("note claiming more than its segment")
            << build({true,
                      false,
                      EM_X86_64,
                      {load(0, PF_R | PF_X),
                       notes(0x300, {{kGnu, NT_GNU_BUILD_ID, counting(0, 20), 0x7fffffff}})}})
            << 0x1000ull
            << QVariantMap{{"image_name", "vantoro"},
                           {"image_base_address", "0x00001000"},
                           {"slide_address", "0x0000000000000000"},
                           {"cpu_arch", "x86_64"}};
    }
    void describesImage() {
        QFETCH(QByteArray, file);
        QFETCH(qulonglong, base);
        QFETCH(QVariantMap, expected);
        const auto identity = ElfImageInfo::fromFile(file);
        QVERIFY(identity);
        QCOMPARE(ElfImageInfo::dictionary(*identity, "/opt/vantoro/bin/vantoro", base), expected);
    }

    void rejectsWhatIsNotAnImage_data() {
        QTest::addColumn<QByteArray>("file");
        const QByteArray valid = build({true, false, EM_X86_64, {load(0, PF_R | PF_X)}});
        auto patched = [&](qsizetype at, QByteArray bytes) {
            return QByteArray(valid).replace(at, bytes.size(), bytes);
        };
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("other magic") << patched(3, "G");
        QTest::newRow("unknown class") << patched(EI_CLASS, "\x03");
        QTest::newRow("unknown byte order") << patched(EI_DATA, "\x03");
        QTest::newRow("header cut short") << valid.left(40);
        QTest::newRow("program headers past the end")
            << patched(offsetof(Elf64_Ehdr, e_phnum), QByteArray("\x40\x00", 2));
        QTest::newRow("program header entries too small")
            << patched(offsetof(Elf64_Ehdr, e_phentsize), QByteArray("\x10\x00", 2));
        QVERIFY(ElfImageInfo::fromFile(valid));
    }
    void rejectsWhatIsNotAnImage() {
        QFETCH(QByteArray, file);
        QVERIFY(!ElfImageInfo::fromFile(file));
    }

    // The running executable as the loader mapped it, checked against what
    // binutils and the loader say about the same file.
    void mainProgramMatchesReadelf() {
        const QString exe = QCoreApplication::applicationFilePath();
        const QVariantMap info = ElfImageInfo::mainProgram();

        const auto buildId =
            QRegularExpression("Build ID: ([0-9a-f]+)").match(runTool("readelf", {"-n", exe}));
        QVERIFY(buildId.hasMatch());
        QCOMPARE(info.value("binary_uuid").toString().remove('-').toLower(),
                 buildId.captured(1).left(32));

        const auto text =
            QRegularExpression(
                "^\\s*LOAD\\s+\\S+\\s+0x([0-9a-f]+)\\s+\\S+\\s+\\S+\\s+\\S+\\s+R ?W?E",
                QRegularExpression::MultilineOption)
                .match(runTool("readelf", {"-lW", exe}));
        QVERIFY(text.hasMatch());
        QCOMPARE(info.value("slide_address").toString(),
                 QString::asprintf("0x%016llx", text.captured(1).toULongLong(nullptr, 16)));

        Dl_info loaded{};
        QVERIFY(dladdr(reinterpret_cast<void*>(&anchor), &loaded));
        QCOMPARE(info.value("image_base_address").toString(),
                 QString::asprintf("0x%08lx", reinterpret_cast<unsigned long>(loaded.dli_fbase)));
        QCOMPARE(info.value("image_name").toString(), QFileInfo(exe).fileName());
#if defined(__x86_64__)
        QCOMPARE(info.value("cpu_arch").toString(), QStringLiteral("x86_64"));
#elif defined(__aarch64__)
        QCOMPARE(info.value("cpu_arch").toString(), QStringLiteral("arm64"));
#endif
    }

    void fileAndMemoryReadingsAgree() {
        QFile exe(QStringLiteral("/proc/self/exe"));
        QVERIFY(exe.open(QIODevice::ReadOnly));
        const auto identity = ElfImageInfo::fromFile(exe.readAll());
        QVERIFY(identity);
        QVariantMap fromMemory = ElfImageInfo::mainProgram();
        QVariantMap fromFile =
            ElfImageInfo::dictionary(*identity, QCoreApplication::applicationFilePath(), 0);
        fromMemory.remove("image_base_address");
        fromFile.remove("image_base_address");
        QCOMPARE(fromFile, fromMemory);
    }
};

QTEST_GUILESS_MAIN(TestElfImageInfo)
#include "tst_elfimageinfo.moc"
