#include "server/reports/reportparser.h"

#include "server/http/hexdigit.h"
#include "server/reports/crashtextclip.h"

#include <cmath>

namespace {

// JSON's own white space; anything else between tokens is an error.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void appendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xc0 | (code >> 6));
        out += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += char(0xe0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    } else {
        out += char(0xf0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3f));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    }
}

char32_t hex4(QByteArrayView raw, qsizetype at) {
    char32_t value = 0;
    for (qsizetype i = at; i < at + 4; ++i)
        value = value * 16 + char32_t(hexDigitValue(raw[i]));
    return value;
}

} // namespace

ReportParser::ReportParser(QByteArrayView text, qsizetype maxRecords)
    : m_text(text), m_maxRecords(maxRecords) {}

std::optional<UploadedReport> ReportParser::parse() {
    m_pos = 0;
    m_report = {};
    m_failure = Failure::None;
    m_error.clear();
    // One check of the whole text: strings are then only looked at for
    // their quotes, escapes and control characters.
    if (!m_text.isValidUtf8()) {
        malformed(QStringLiteral("not UTF-8 text"));
        return std::nullopt;
    }
    if (!parseReport())
        return std::nullopt;
    return std::move(m_report);
}

bool ReportParser::parseReport() {
    skipSpace();
    if (!peek('{'))
        return malformed(QStringLiteral("a report is a JSON object"));
    expect('{');
    if (!peek('}')) {
        do {
            if (!parseMember())
                return false;
        } while (expect(','));
    }
    if (!expect('}'))
        return malformed(QStringLiteral("expected , or }"));
    skipSpace();
    return atEnd() || malformed(QStringLiteral("text after the report"));
}

// A member of the report: every list is a list of records, "header" says
// what the application dropped, anything else is only checked.
bool ReportParser::parseMember() {
    Token key;
    if (!scanString(&key) || !expect(':'))
        return malformed(QStringLiteral("expected a name and :"));
    if (peek('['))
        return parseList(key);
    if (is(key, "header") && peek('{'))
        return parseHeader();
    return skipValue(1);
}

bool ReportParser::parseList(const Token& key) {
    expect('[');
    if (expect(']'))
        return true;
    do {
        const bool ok = peek('{') ? parseRecord(key) : skipValue(2);
        if (!ok)
            return false;
    } while (expect(','));
    return expect(']') || malformed(QStringLiteral("expected , or ]"));
}

bool ReportParser::parseRecord(const Token& list) {
    if (m_report.records.size() == m_maxRecords) {
        m_failure = Failure::TooManyRecords;
        m_error = QStringLiteral("more than %1 records").arg(m_maxRecords);
        return false;
    }
    const qsizetype start = m_pos;
    UploadedReport::Record record;
    RecordFacts::Members members;
    expect('{');
    if (!peek('}')) {
        do {
            Token key;
            if (!scanString(&key) || !expect(':'))
                return malformed(QStringLiteral("expected a name and :"));
            if (!is(key, "id")) {
                // The facts take a name only as it is spelled, unescaped.
                RecordFacts::Value* fact = key.escaped ? nullptr : members.named(key.raw);
                if (!(fact ? parseFact(fact) : skipValue(3)))
                    return false;
                continue;
            }
            Token id;
            const bool isText = peek('"') && scanString(&id);
            if (m_failure != Failure::None)
                return false;
            if (!isText || id.raw.isEmpty() || !record.id.isNull())
                return malformed(QStringLiteral("a record id in \"%1\" is not one non-empty string")
                                     .arg(nameOf(list)));
            record.id = id.escaped ? decode(id.raw) : QString::fromUtf8(id.raw);
        } while (expect(','));
    }
    if (!expect('}'))
        return malformed(QStringLiteral("expected , or }"));
    record.json = m_text.sliced(start, m_pos - start);
    if (members.context.isString)
        clipCrashText(record, members.context);
    record.facts = RecordFacts::fromMembers(members);
    m_report.records.append(std::move(record));
    return true;
}

// Before anything reads it: the signature is made from the clipped text,
// and the clipped text is what is kept.
void ReportParser::clipCrashText(UploadedReport::Record& record, RecordFacts::Value& context) {
    auto clipped = CrashTextClip::clip(record.json, context.raw);
    if (!clipped)
        return;
    record.clippedJson = std::move(clipped->record);
    record.json = record.clippedJson;
    context.raw = record.json.sliced(clipped->contextStart, clipped->contextSize);
}

// A string or a number is noted as it stands; any other value is skipped
// and leaves what an earlier member of the name gave.
bool ReportParser::parseFact(RecordFacts::Value* value) {
    Token token;
    if (peek('"')) {
        if (!scanString(&token))
            return false;
        *value = {token.raw, true, token.escaped};
        return true;
    }
    QByteArrayView raw;
    if (scanNumber(&raw)) {
        *value = {raw};
        return true;
    }
    return m_failure == Failure::None && skipValue(3);
}

// The last header's count is the report's: a header says it once.
bool ReportParser::parseHeader() {
    m_report.droppedRecords = 0;
    expect('{');
    if (expect('}'))
        return true;
    do {
        Token key;
        if (!scanString(&key) || !expect(':'))
            return malformed(QStringLiteral("expected a name and :"));
        const bool ok = is(key, "dropped_records") ? parseDropped() : skipValue(2);
        if (!ok)
            return false;
    } while (expect(','));
    return expect('}') || malformed(QStringLiteral("expected , or }"));
}

bool ReportParser::parseDropped() {
    skipSpace();
    QByteArrayView raw;
    if (!scanNumber(&raw))
        return malformed(QStringLiteral("dropped_records is not a number"));
    // Whole numbers up to 2^53, the most a double counts exactly.
    bool ok = false;
    const double value = raw.toDouble(&ok);
    if (!ok || !(value >= 0 && value <= 9007199254740992.0) || std::floor(value) != value)
        return malformed(QStringLiteral("dropped_records is not a count"));
    m_report.droppedRecords = qint64(value);
    return true;
}

bool ReportParser::skipValue(int depth) {
    if (depth > kMaxDepth)
        return malformed(QStringLiteral("nested deeper than %1").arg(kMaxDepth));
    skipSpace();
    if (atEnd())
        return malformed(QStringLiteral("the text ends early"));
    switch (m_text[m_pos]) {
    case '{':
        return skipObject(depth);
    case '[':
        return skipArray(depth);
    case '"': {
        Token token;
        return scanString(&token);
    }
    case 't':
        return scanLiteral("true");
    case 'f':
        return scanLiteral("false");
    case 'n':
        return scanLiteral("null");
    default: {
        QByteArrayView raw;
        return scanNumber(&raw) || malformed(QStringLiteral("expected a value"));
    }
    }
}

bool ReportParser::skipObject(int depth) {
    expect('{');
    if (expect('}'))
        return true;
    do {
        Token key;
        if (!scanString(&key) || !expect(':'))
            return malformed(QStringLiteral("expected a name and :"));
        if (!skipValue(depth + 1))
            return false;
    } while (expect(','));
    return expect('}') || malformed(QStringLiteral("expected , or }"));
}

bool ReportParser::skipArray(int depth) {
    expect('[');
    if (expect(']'))
        return true;
    do {
        if (!skipValue(depth + 1))
            return false;
    } while (expect(','));
    return expect(']') || malformed(QStringLiteral("expected , or ]"));
}

// False without a failure when no string starts here; the caller says what
// it expected.
bool ReportParser::scanString(Token* token) {
    if (!peek('"'))
        return false;
    ++m_pos;
    const qsizetype start = m_pos;
    token->escaped = false;
    while (!atEnd()) {
        const char c = m_text[m_pos];
        if (c == '"') {
            token->raw = m_text.sliced(start, m_pos - start);
            ++m_pos;
            return true;
        }
        if (uchar(c) < 0x20)
            return malformed(QStringLiteral("a control character in a string"));
        if (c == '\\') {
            token->escaped = true;
            if (!scanEscape())
                return false;
        } else {
            ++m_pos;
        }
    }
    return malformed(QStringLiteral("a string does not end"));
}

bool ReportParser::scanEscape() {
    ++m_pos;
    if (atEnd())
        return malformed(QStringLiteral("a string does not end"));
    const char c = m_text[m_pos++];
    if (QByteArrayView("\"\\/bfnrt").contains(c))
        return true;
    uint first = 0;
    if (c != 'u' || !scanHex(&first))
        return malformed(QStringLiteral("a bad escape in a string"));
    if (first >= 0xdc00 && first <= 0xdfff)
        return malformed(QStringLiteral("a lone surrogate in a string"));
    if (first < 0xd800 || first > 0xdbff)
        return true;
    uint second = 0;
    if (m_text.sliced(m_pos).startsWith("\\u")) {
        m_pos += 2;
        if (!scanHex(&second))
            return malformed(QStringLiteral("a bad escape in a string"));
    }
    return (second >= 0xdc00 && second <= 0xdfff) ||
           malformed(QStringLiteral("a lone surrogate in a string"));
}

bool ReportParser::scanHex(uint* value) {
    if (m_text.size() - m_pos < 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexDigitValue(m_text[m_pos + i]);
        if (digit < 0)
            return false;
        *value = *value * 16 + uint(digit);
    }
    m_pos += 4;
    return true;
}

// False without a failure when no number starts here.
bool ReportParser::scanNumber(QByteArrayView* raw) {
    const qsizetype start = m_pos;
    if (at('-'))
        ++m_pos;
    if (at('0'))
        ++m_pos;
    else if (!scanDigits())
        return m_pos == start ? false : malformed(QStringLiteral("a bad number"));
    if (at('.')) {
        ++m_pos;
        if (!scanDigits())
            return malformed(QStringLiteral("a bad number"));
    }
    if (at('e') || at('E')) {
        ++m_pos;
        if (at('+') || at('-'))
            ++m_pos;
        if (!scanDigits())
            return malformed(QStringLiteral("a bad number"));
    }
    *raw = m_text.sliced(start, m_pos - start);
    return true;
}

bool ReportParser::scanDigits() {
    const qsizetype start = m_pos;
    while (!atEnd() && isDigit(m_text[m_pos]))
        ++m_pos;
    return m_pos > start;
}

bool ReportParser::scanLiteral(QByteArrayView literal) {
    if (!m_text.sliced(m_pos).startsWith(literal))
        return malformed(QStringLiteral("expected a value"));
    m_pos += literal.size();
    return true;
}

// Names are compared as the text they stand for, so an escaped spelling of
// "id" is still the id.
bool ReportParser::is(const Token& key, QByteArrayView name) const {
    if (!key.escaped)
        return key.raw == name;
    // An escape is at most six bytes for one character of a name.
    return key.raw.size() <= name.size() * 6 && decode(key.raw) == QLatin1String(name);
}

void ReportParser::skipSpace() {
    while (!atEnd() && isSpace(m_text[m_pos]))
        ++m_pos;
}

bool ReportParser::peek(char c) {
    skipSpace();
    return !atEnd() && m_text[m_pos] == c;
}

bool ReportParser::expect(char c) {
    if (!peek(c))
        return false;
    ++m_pos;
    return true;
}

bool ReportParser::at(char c) const {
    return !atEnd() && m_text[m_pos] == c;
}

// A list's name for a message; a long one is not worth decoding.
QString ReportParser::nameOf(const Token& key) {
    return key.raw.size() <= 64 ? decode(key.raw) : QStringLiteral("...");
}

bool ReportParser::malformed(const QString& why) {
    if (m_failure == Failure::None) {
        m_failure = Failure::Malformed;
        m_error = QStringLiteral("not a report: %1 at offset %2").arg(why).arg(m_pos);
    }
    return false;
}

QString ReportParser::decode(QByteArrayView raw) {
    QByteArray utf8;
    utf8.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            utf8 += raw[i];
            continue;
        }
        const char c = raw[++i];
        if (c != 'u') {
            static const QByteArrayView from("\"\\/bfnrt");
            static const QByteArrayView to("\"\\/\b\f\n\r\t");
            utf8 += to[from.indexOf(c)];
            continue;
        }
        char32_t code = hex4(raw, i + 1);
        i += 4;
        if (code >= 0xd800 && code <= 0xdbff) {
            code = 0x10000 + ((code - 0xd800) << 10) + (hex4(raw, i + 3) - 0xdc00);
            i += 6;
        }
        appendUtf8(utf8, code);
    }
    return QString::fromUtf8(utf8);
}
