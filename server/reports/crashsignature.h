#pragma once

#include <QString>
#include <QStringView>

// What makes two crash reports the same crash: the reason, the build and the
// first frame of the application's own code. Read from an error record's
// context, the text the application builds from its crash file: the reason,
// "(null)", a parenthesised list of backtrace_symbols lines, a blank line,
// then "dSYM UUID: ...", "Binary Image: ..." and other lines of the image.
struct CrashSignature {
    QString kind;     // the reason, e.g. "Application received signal SIGSEGV"
    QString buildId;  // the dSYM UUID value
    QString frame;    // the first frame that is not the crash handler's, normalised
    QString groupKey; // 16 hex digits of a hash of the three

    // Never fails: a part that cannot be found is empty, and every part is
    // clipped, so a hostile text cannot make a huge key.
    static CrashSignature fromContext(QStringView context);

    // A backtrace_symbols line without what differs from run to run: the
    // bracketed absolute address (ASLR) and the module's directory (where
    // the program was started from). "/opt/v/vantoro(_ZN3Foo3barEv+0x1a)
    // [0x55d0c0a1b2c3]" becomes "vantoro(_ZN3Foo3barEv+0x1a)".
    static QString normalisedFrame(QStringView line);

    static QString keyOf(const QString& kind, const QString& buildId, const QString& frame);

    static constexpr qsizetype kMaxKind = 300;
    static constexpr qsizetype kMaxFrame = 300;
    static constexpr qsizetype kMaxBuildId = 80;
};
