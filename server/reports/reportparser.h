#pragma once

#include "server/reports/uploadedreport.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

// Reads a report's JSON text in one pass without building a document of it:
// a report may be megabytes of small records, and a document of those takes
// twenty times the text. A record is kept as a view of its own text, so the
// only copy of a report is the text the caller holds (a record whose crash
// text is cut holds its own, shorter text). The text must be UTF-8
// JSON whose strings are valid Unicode (no lone surrogate escapes), so that
// two different ids are never stored as the same text.
class ReportParser {
public:
    enum class Failure { None, Malformed, TooManyRecords };

    // Stops as soon as the report has more than `maxRecords` records.
    ReportParser(QByteArrayView text, qsizetype maxRecords);

    // The records, with views into the text; null when the text is refused,
    // with failure() and error() saying why.
    std::optional<UploadedReport> parse();
    Failure failure() const { return m_failure; }
    QString error() const { return m_error; }

    // A string's text between its quotes, escapes resolved. The text must
    // have passed the parser.
    static QString decode(QByteArrayView raw);

    // Far deeper than any record the application builds; bounds the parser's
    // own recursion.
    static constexpr int kMaxDepth = 64;

private:
    struct Token {
        QByteArrayView raw;
        bool escaped = false;
    };

    bool parseReport();
    bool parseMember();
    bool parseList(const Token& key);
    bool parseRecord(const Token& list);
    bool parseFact(RecordFacts::Value* value);
    static void clipCrashText(UploadedReport::Record& record, RecordFacts::Value& context);
    bool parseHeader();
    bool parseDropped();
    bool skipValue(int depth);
    bool skipObject(int depth);
    bool skipArray(int depth);
    bool scanString(Token* token);
    bool scanEscape();
    bool scanHex(uint* value);
    bool scanNumber(QByteArrayView* raw);
    bool scanDigits();
    bool scanLiteral(QByteArrayView literal);
    bool is(const Token& key, QByteArrayView name) const;
    void skipSpace();
    bool peek(char c);
    bool at(char c) const;
    static QString nameOf(const Token& key);
    bool expect(char c);
    bool atEnd() const { return m_pos >= m_text.size(); }
    bool malformed(const QString& why);

    QByteArrayView m_text;
    qsizetype m_pos = 0;
    qsizetype m_maxRecords;
    UploadedReport m_report;
    Failure m_failure = Failure::None;
    QString m_error;
};
