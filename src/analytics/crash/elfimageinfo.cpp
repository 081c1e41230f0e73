#include "analytics/crash/elfimageinfo.h"

#include "analytics/crash/binaryuuid.h"
#include "analytics/crash/bytereader.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <elf.h>
#include <link.h>
#include <utility>

namespace {
struct Header {
    bool is64 = false;
    bool bigEndian = false;
    quint16 machine = 0;
    quint64 phoff = 0;
    quint16 phentsize = 0;
    quint16 phnum = 0;
};

struct Segment {
    quint32 type = 0;
    quint32 flags = 0;
    quint64 offset = 0;
    quint64 vaddr = 0;
    quint64 filesz = 0;
    quint64 memsz = 0;
    quint64 align = 0;
};

std::optional<Header> parseHeader(QByteArrayView bytes) {
    if (bytes.size() < EI_NIDENT || !bytes.startsWith(QByteArrayView(ELFMAG, SELFMAG)))
        return std::nullopt;
    Header h;
    const char elfClass = bytes[EI_CLASS];
    const char data = bytes[EI_DATA];
    if ((elfClass != ELFCLASS32 && elfClass != ELFCLASS64) ||
        (data != ELFDATA2LSB && data != ELFDATA2MSB))
        return std::nullopt;
    h.is64 = elfClass == ELFCLASS64;
    h.bigEndian = data == ELFDATA2MSB;
    const ByteReader r(bytes, h.bigEndian);
    if (!r.contains(0, h.is64 ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr)))
        return std::nullopt;
    h.machine = r.u16(offsetof(Elf64_Ehdr, e_machine));
    if (h.is64) {
        h.phoff = r.u64(offsetof(Elf64_Ehdr, e_phoff));
        h.phentsize = r.u16(offsetof(Elf64_Ehdr, e_phentsize));
        h.phnum = r.u16(offsetof(Elf64_Ehdr, e_phnum));
    } else {
        h.phoff = r.u32(offsetof(Elf32_Ehdr, e_phoff));
        h.phentsize = r.u16(offsetof(Elf32_Ehdr, e_phentsize));
        h.phnum = r.u16(offsetof(Elf32_Ehdr, e_phnum));
    }
    if (h.phentsize < (h.is64 ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr)))
        return std::nullopt;
    return h;
}

Segment parseSegment(const ByteReader& r, quint64 at, bool is64) {
    Segment s;
    if (is64) {
        s.type = r.u32(at + offsetof(Elf64_Phdr, p_type));
        s.flags = r.u32(at + offsetof(Elf64_Phdr, p_flags));
        s.offset = r.u64(at + offsetof(Elf64_Phdr, p_offset));
        s.vaddr = r.u64(at + offsetof(Elf64_Phdr, p_vaddr));
        s.filesz = r.u64(at + offsetof(Elf64_Phdr, p_filesz));
        s.memsz = r.u64(at + offsetof(Elf64_Phdr, p_memsz));
        s.align = r.u64(at + offsetof(Elf64_Phdr, p_align));
    } else {
        s.type = r.u32(at + offsetof(Elf32_Phdr, p_type));
        s.flags = r.u32(at + offsetof(Elf32_Phdr, p_flags));
        s.offset = r.u32(at + offsetof(Elf32_Phdr, p_offset));
        s.vaddr = r.u32(at + offsetof(Elf32_Phdr, p_vaddr));
        s.filesz = r.u32(at + offsetof(Elf32_Phdr, p_filesz));
        s.memsz = r.u32(at + offsetof(Elf32_Phdr, p_memsz));
        s.align = r.u32(at + offsetof(Elf32_Phdr, p_align));
    }
    return s;
}

QList<Segment> parseSegments(QByteArrayView table, const Header& h) {
    const ByteReader r(table, h.bigEndian);
    QList<Segment> segments;
    for (quint64 i = 0; i < h.phnum && r.contains(i * h.phentsize, h.phentsize); ++i)
        segments.append(parseSegment(r, i * h.phentsize, h.is64));
    return segments;
}

quint64 alignUp(quint64 value, quint64 align) {
    return (value + align - 1) & ~(align - 1);
}

// Name and descriptor each end padded to 4 bytes, or to 8 in segments aligned
// to 8 (as the GNU property note is).
QByteArray findBuildId(QByteArrayView notes, bool bigEndian, quint64 segmentAlign) {
    const quint64 align = segmentAlign == 8 ? 8 : 4;
    const ByteReader r(notes, bigEndian);
    for (quint64 at = 0; r.contains(at, 12);) {
        const quint32 nameSize = r.u32(at);
        const quint32 descSize = r.u32(at + 4);
        const quint32 type = r.u32(at + 8);
        const quint64 desc = alignUp(at + 12 + nameSize, align);
        if (!r.contains(desc, descSize))
            break;
        if (type == NT_GNU_BUILD_ID && r.slice(at + 12, nameSize) == QByteArrayView("GNU", 4))
            return r.slice(desc, descSize).toByteArray();
        at = alignUp(desc + descSize, align);
    }
    return {};
}

// Reads what the report needs from the segments; notes(segment) gives the
// bytes of a note segment wherever they live (file or memory).
template <typename Notes>
ElfImageInfo::Identity identify(const Header& h, const QList<Segment>& segments, Notes notes) {
    ElfImageInfo::Identity id;
    id.is64 = h.is64;
    id.machine = h.machine;
    bool seenLoad = false;
    for (const Segment& s : segments) {
        if (s.type == PT_LOAD && !std::exchange(seenLoad, true))
            id.loadAddress = s.vaddr;
        if (s.type == PT_LOAD && (s.flags & PF_X) && !id.textAddress)
            id.textAddress = s.vaddr;
        if (s.type == PT_NOTE && id.buildId.isEmpty())
            id.buildId = findBuildId(notes(s), h.bigEndian, s.align);
    }
    return id;
}

const Segment* firstLoad(const QList<Segment>& segments) {
    for (const Segment& s : segments)
        if (s.type == PT_LOAD)
            return &s;
    return nullptr;
}
} // namespace

std::optional<ElfImageInfo::Identity> ElfImageInfo::fromFile(QByteArrayView file) {
    const auto header = parseHeader(file);
    if (!header)
        return std::nullopt;
    const ByteReader r(file, header->bigEndian);
    const quint64 tableSize = quint64(header->phnum) * header->phentsize;
    if (!r.contains(header->phoff, tableSize))
        return std::nullopt;
    const QList<Segment> segments = parseSegments(r.slice(header->phoff, tableSize), *header);
    return identify(*header, segments,
                    [&](const Segment& s) { return r.slice(s.offset, s.filesz); });
}

std::optional<ElfImageInfo::Identity>
ElfImageInfo::fromLoaded(quintptr bias, const void* programHeaders, int count) {
    // The loaded program headers are in this process's own class and byte
    // order; the ELF header (for the machine) is mapped at the start of the
    // first loadable segment when that segment begins at file offset 0.
    Header native;
    native.is64 = sizeof(void*) == 8;
    native.bigEndian = Q_BYTE_ORDER == Q_BIG_ENDIAN;
    native.phentsize = sizeof(ElfW(Phdr));
    native.phnum = quint16(count);
    const QList<Segment> segments = parseSegments(
        QByteArrayView(static_cast<const char*>(programHeaders), count * native.phentsize), native);
    const Segment* load = firstLoad(segments);
    if (!load || load->offset != 0)
        return std::nullopt;
    const auto header = parseHeader(QByteArrayView(
        reinterpret_cast<const char*>(bias + load->vaddr), qsizetype(sizeof(ElfW(Ehdr)))));
    if (!header)
        return std::nullopt;
    return identify(*header, segments, [bias](const Segment& s) {
        return QByteArrayView(reinterpret_cast<const char*>(bias + s.vaddr), qsizetype(s.memsz));
    });
}

QVariantMap ElfImageInfo::dictionary(const Identity& identity, const QString& imagePath,
                                     quintptr baseAddress) {
    QVariantMap info;
    info["image_name"] = QFileInfo(imagePath).fileName();
    info["image_base_address"] =
        QString::asprintf("0x%08lx", static_cast<unsigned long>(baseAddress));
    if (identity.textAddress)
        info["slide_address"] =
            identity.is64 ? QString::asprintf("0x%016llx", qulonglong(*identity.textAddress))
                          : QString::asprintf("0x%08x", quint32(*identity.textAddress));
    const QString uuid = BinaryUuid::format(identity.buildId);
    if (!uuid.isEmpty())
        info["binary_uuid"] = uuid;
    info["cpu_arch"] = cpuArch(identity.machine);
    return info;
}

QString ElfImageInfo::cpuArch(quint16 machine) {
    switch (machine) {
    case EM_X86_64:
        return QStringLiteral("x86_64");
    case EM_AARCH64:
        return QStringLiteral("arm64");
    case EM_386:
        return QStringLiteral("i386");
    case EM_ARM:
        return QStringLiteral("armv7");
    case EM_PPC:
        return QStringLiteral("powerpc");
    default:
        return QStringLiteral("???");
    }
}

QVariantMap ElfImageInfo::mainProgram() {
    struct Found {
        quintptr bias = 0;
        const void* headers = nullptr;
        int count = 0;
    } found;
    // The loader lists the main program first.
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            *static_cast<Found*>(data) = {info->dlpi_addr, info->dlpi_phdr, info->dlpi_phnum};
            return 1;
        },
        &found);
    const auto identity =
        found.headers ? fromLoaded(found.bias, found.headers, found.count) : std::nullopt;
    if (!identity)
        return {};
    // A replaced executable still names the running one, marked as deleted.
    QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    path.remove(QRegularExpression(QStringLiteral(" \\(deleted\\)$")));
    return dictionary(*identity, path, found.bias + identity->loadAddress);
}
