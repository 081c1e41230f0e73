#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// A record's crash text as the collector keeps it: however long a stack a
// report claims, what is analysed, stored and shown is at most its head and
// its tail, with a line between them saying how much was cut. The head holds
// the reason and the first frames, the tail the image lines; a real crash
// text is a few kilobytes and is kept whole.
class CrashTextClip {
public:
    struct Clipped {
        // The record's text with the crash text cut.
        QByteArray record;
        // Where the crash text's characters (between its quotes) now lie.
        qsizetype contextStart = 0;
        qsizetype contextSize = 0;
    };

    // `record` is a record's JSON text and `context` the raw characters of
    // its crash text, a view into it. Null when the text is short enough to
    // be kept as it is.
    static std::optional<Clipped> clip(QByteArrayView record, QByteArrayView context);

    // Bytes of the text as it stands in the JSON (escapes unresolved).
    static constexpr qsizetype kHead = 56 * 1024;
    static constexpr qsizetype kTail = 8 * 1024;
    static constexpr qsizetype kMaxBytes = kHead + kTail;
};
