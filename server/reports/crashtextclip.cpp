#include "server/reports/crashtextclip.h"

namespace {

// The length of the character or escape that starts at `at`: a cut never
// splits one, so the clipped text is still valid UTF-8 JSON.
qsizetype unitAt(QByteArrayView raw, qsizetype at) {
    const auto c = static_cast<unsigned char>(raw[at]);
    if (c == '\\') {
        if (at + 1 >= raw.size() || raw[at + 1] != 'u')
            return 2;
        // A surrogate pair stays together.
        const bool pair = at + 7 < raw.size() && (raw[at + 2] == 'd' || raw[at + 2] == 'D') &&
                          QByteArrayView("89abAB").contains(raw[at + 3]) && raw[at + 6] == '\\';
        return pair ? 12 : 6;
    }
    if (c >= 0xf0)
        return 4;
    if (c >= 0xe0)
        return 3;
    return c >= 0xc0 ? 2 : 1;
}

// Where the units that fit in `limit` bytes from the start end.
qsizetype headEnd(QByteArrayView raw, qsizetype limit) {
    qsizetype at = 0;
    while (at < raw.size()) {
        const qsizetype next = at + unitAt(raw, at);
        if (next > limit)
            break;
        at = next;
    }
    return at;
}

// Where the last units that fit in `limit` bytes begin. Units are found by
// walking from `from`, a unit boundary, so an escape is never read from its
// middle.
qsizetype tailStart(QByteArrayView raw, qsizetype from, qsizetype limit) {
    qsizetype at = from;
    while (raw.size() - at > limit)
        at += unitAt(raw, at);
    return at;
}

} // namespace

std::optional<CrashTextClip::Clipped> CrashTextClip::clip(QByteArrayView record,
                                                          QByteArrayView context) {
    if (context.size() <= kMaxBytes)
        return std::nullopt;
    const qsizetype head = headEnd(context, kHead);
    const qsizetype tail = tailStart(context, head, kTail);
    const QByteArray mark = "\\n[" + QByteArray::number(tail - head) + " of " +
                            QByteArray::number(context.size()) +
                            " bytes of this crash text were cut]\\n";
    const qsizetype before = context.data() - record.data();
    Clipped clipped;
    clipped.record.reserve(record.size() - context.size() + kMaxBytes + mark.size());
    clipped.record.append(record.first(before));
    clipped.record.append(context.first(head));
    clipped.record.append(mark);
    clipped.record.append(context.sliced(tail));
    clipped.record.append(record.sliced(before + context.size()));
    clipped.contextStart = before;
    clipped.contextSize = head + mark.size() + (context.size() - tail);
    return clipped;
}
