#pragma once

#include "server/reports/crashsignature.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

// What the operator's figures need from one analytics record, read once when
// the record is kept, so that the figures are plain SQL over columns. Any
// text is taken: a field that is missing or of the wrong type is null, and
// long texts are clipped.
struct RecordFacts {
    QString kind;    // the record's "type": launch, terminate, event, error
    QString eventId; // events only
    // Events only; null when the event carries none (an empty label is none).
    QString label;
    std::optional<double> ts;            // seconds since 1970
    QString day;                         // UTC "yyyy-MM-dd" of ts
    std::optional<double> duration;      // seconds; ends of use only
    std::optional<CrashSignature> crash; // errors only

    // A member's value as it stands in a record's text: a string's text
    // between its quotes (escapes unresolved), or a number.
    struct Value {
        QByteArrayView raw;
        bool isString = false;
        bool escaped = false;
    };
    // The top-level members the facts are read from; the last of a name wins.
    struct Members {
        Value type, ts, eventId, label, duration, context;
        // The member that a top-level name (unescaped) stands for, or null.
        Value* named(QByteArrayView name);
    };

    static RecordFacts fromJson(QByteArrayView json);
    // From members read by a reader that has checked the text.
    static RecordFacts fromMembers(const Members& members);
    // Null for a time no calendar day can be given for.
    static QString dayOf(double ts);

    // The application takes event identifiers of up to 128 bytes; none is cut.
    static constexpr qsizetype kMaxText = 128;
};
