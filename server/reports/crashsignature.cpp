#include "server/reports/crashsignature.h"

#include <QCryptographicHash>
#include <QList>
#include <QRegularExpression>

namespace {

const QLatin1String kStackStart("\n(null)\n(");
const QLatin1String kImageStart("\n\ndSYM UUID: ");

QString clipped(QStringView text, qsizetype max) {
    if (text.size() <= max)
        return text.toString();
    // Not through the middle of a surrogate pair.
    qsizetype end = max;
    if (text[end - 1].isHighSurrogate())
        --end;
    return text.first(end).toString();
}

// The value of the image line that starts with `name`, or empty.
QString imageValue(QStringView image, QLatin1String name) {
    for (QStringView line : image.split(u'\n'))
        if (line.startsWith(name))
            return line.sliced(name.size()).trimmed().toString();
    return {};
}

QStringView moduleOf(QStringView frame) {
    const qsizetype open = frame.indexOf(u'(');
    return open >= 0 ? frame.first(open) : frame;
}

// A sanitizer's runtime (libasan, libubsan, ...) stands in front of
// backtrace() and shows as the stack's first frame; it is never where the
// crash happened, and hiding it keeps the handler's frames first.
bool isSanitizerRuntime(QStringView frame) {
    const QStringView module = moduleOf(frame);
    const QStringView file = module.sliced(module.lastIndexOf(u'/') + 1);
    static const QRegularExpression runtime(QStringLiteral("^lib(a|ub|t|l|m|hwa)san\\.so"));
    return runtime.match(file).hasMatch();
}

QList<QStringView> stackLines(QStringView stack) {
    QList<QStringView> lines;
    for (QStringView line : stack.split(u'\n')) {
        line = line.trimmed();
        if (line == u")")
            break;
        if (line.endsWith(u','))
            line.chop(1);
        if (!line.isEmpty() && !isSanitizerRuntime(line))
            lines << line;
    }
    return lines;
}

QString moduleName(QStringView frame) {
    return CrashSignature::normalisedFrame(moduleOf(frame));
}

// The crash handler's own frames come first in every stack it writes: its
// report writer and its signal or terminate handler, in the application's
// image; then the code that brought it there, outside the image (the
// signal return trampoline in the C library, raise() and abort(), or the C++
// runtime's terminate and throw). The crash itself happened at the first
// frame of the application's image after those: grouping on the first frame
// would put every crash into one group. The image is the one the context
// names; when no frame bears that name (the program was started through a
// link of another name, or the name is missing), it is the first frame's,
// which is the handler's. With no frame of the image after the handler (a
// crash on a thread the application did not start), the first frame after
// the handler's is taken.
qsizetype firstOwnFrame(const QList<QStringView>& frames, const QString& imageName) {
    if (frames.isEmpty())
        return -1;
    QString image = moduleName(frames[0]);
    for (QStringView frame : frames)
        if (moduleName(frame) == imageName)
            image = imageName;
    qsizetype i = 0;
    while (i < frames.size() && moduleName(frames[i]) == image)
        ++i;
    const qsizetype afterHandler = i;
    while (i < frames.size() && moduleName(frames[i]) != image)
        ++i;
    if (i < frames.size())
        return i;
    return afterHandler < frames.size() ? afterHandler : 0;
}

} // namespace

QString CrashSignature::normalisedFrame(QStringView line) {
    QStringView frame = line.trimmed();
    const qsizetype bracket = frame.lastIndexOf(u'[');
    if (bracket >= 0 && frame.endsWith(u']'))
        frame = frame.first(bracket).trimmed();
    const qsizetype slash = moduleOf(frame).lastIndexOf(u'/');
    if (slash >= 0)
        frame = frame.sliced(slash + 1);
    return frame.isEmpty() ? QStringLiteral("?") : clipped(frame, kMaxFrame);
}

QString CrashSignature::keyOf(const QString& kind, const QString& buildId, const QString& frame) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(kind.toUtf8());
    hash.addData(QByteArrayView("\x1f", 1));
    hash.addData(buildId.toUtf8());
    hash.addData(QByteArrayView("\x1f", 1));
    hash.addData(frame.toUtf8());
    return QString::fromLatin1(hash.result().first(8).toHex());
}

CrashSignature CrashSignature::fromContext(QStringView context) {
    CrashSignature signature;
    // The reason may be an exception's text over several lines; the image
    // lines are looked for from the end, since a reason could imitate them.
    const qsizetype imageAt = context.lastIndexOf(kImageStart);
    const QStringView image = imageAt >= 0 ? context.sliced(imageAt + 2) : QStringView();
    const QStringView crash = imageAt >= 0 ? context.first(imageAt) : context;
    const qsizetype stackAt = crash.indexOf(kStackStart);
    const qsizetype lineEnd = crash.indexOf(u'\n');
    const QStringView reason = stackAt >= 0   ? crash.first(stackAt)
                               : lineEnd >= 0 ? crash.first(lineEnd)
                                              : crash;
    signature.kind = clipped(reason, kMaxKind).simplified();
    signature.buildId = clipped(imageValue(image, QLatin1String("dSYM UUID: ")), kMaxBuildId);

    if (stackAt >= 0) {
        const QList<QStringView> frames = stackLines(crash.sliced(stackAt + kStackStart.size()));
        const qsizetype at = firstOwnFrame(
            frames, normalisedFrame(imageValue(image, QLatin1String("Binary Image: "))));
        if (at >= 0)
            signature.frame = normalisedFrame(frames[at]);
    }
    signature.groupKey = keyOf(signature.kind, signature.buildId, signature.frame);
    return signature;
}
