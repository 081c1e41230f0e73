// Any text as the context of an error record, read for the signature that
// groups crashes. Whatever the text, the parts are clipped to their limits,
// stay valid UTF-16 (a clip never splits a surrogate pair) and the key is
// 16 hex digits.
#include "fuzz/fuzzcheck.h"
#include "server/reports/crashsignature.h"

#include <QList>
#include <cstddef>
#include <cstdint>

namespace {

bool isValidUtf16(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return false;
    }
    return true;
}

bool isKey(const QString& key) {
    static const QString digits = QStringLiteral("0123456789abcdef");
    for (QChar c : key)
        if (!digits.contains(c))
            return false;
    return key.size() == 16;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString context = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const CrashSignature signature = CrashSignature::fromContext(context);
    FUZZ_CHECK(signature.kind.size() <= CrashSignature::kMaxKind);
    FUZZ_CHECK(signature.buildId.size() <= CrashSignature::kMaxBuildId);
    FUZZ_CHECK(signature.frame.size() <= CrashSignature::kMaxFrame);
    FUZZ_CHECK(isValidUtf16(signature.kind) && isValidUtf16(signature.buildId) &&
               isValidUtf16(signature.frame));
    FUZZ_CHECK(isKey(signature.groupKey));
    // Every line as a frame: never empty, never longer than the limit.
    for (QStringView line : QStringView(context).split(u'\n')) {
        const QString frame = CrashSignature::normalisedFrame(line);
        FUZZ_CHECK(!frame.isEmpty() && frame.size() <= CrashSignature::kMaxFrame);
    }
    return 0;
}
