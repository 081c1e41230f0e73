#include "server/reports/recordfacts.h"

#include "server/http/hexdigit.h"
#include "server/reports/reportparser.h"

#include <QDateTime>
#include <cctype>
#include <cmath>
#include <utility>

namespace {

// Year 1 to year 9999: beyond that a day is not a "yyyy-MM-dd".
constexpr double kFirstTs = -62135596800.0;
constexpr double kLastTs = 253402300799.0;
// Far deeper than a record the application writes; bounds the skipping.
constexpr int kMaxDepth = 64;

// Reads the members of a record's top level and skips every nested value
// without building a document: a record is read once more when it is kept,
// and a document of it costs more than keeping it. Anything that is not a
// JSON object gives no members. Plain pointers and character tests, since
// this runs for every record that arrives.
class TopLevel {
public:
    explicit TopLevel(QByteArrayView text) : m_p(text.data()), m_end(text.data() + text.size()) {}

    struct Member {
        QByteArrayView name;
        QByteArrayView raw; // a string's text between its quotes, or a number
        bool isString = false;
        bool escaped = false;
    };

    // Calls `take` for each member whose value is a string or a number;
    // false, after some calls perhaps, when the text is not an object.
    template <typename Take> bool read(Take take) {
        if (!expect('{'))
            return false;
        if (expect('}'))
            return m_p == m_end;
        do {
            Member member;
            bool nameEscaped = false;
            if (!string(&member.name, &nameEscaped) || !expect(':') || !value(&member))
                return false;
            if (!nameEscaped && !member.raw.isNull())
                take(member);
        } while (expect(','));
        return expect('}') && m_p == m_end;
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static bool isNumberChar(char c) {
        return isDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
    }

    bool value(Member* member) {
        const char c = peek();
        if (c == '"') {
            member->isString = true;
            return string(&member->raw, &member->escaped);
        }
        if (c == '-' || isDigit(c)) {
            const char* start = m_p;
            while (m_p < m_end && isNumberChar(*m_p))
                ++m_p;
            member->raw = QByteArrayView(start, m_p - start);
            return true;
        }
        return skip(0);
    }

    // Objects, arrays and literals, checked only as far as a skip needs.
    bool skip(int depth) {
        const char c = peek();
        if (c == '"') {
            QByteArrayView ignored;
            bool escaped = false;
            return string(&ignored, &escaped);
        }
        if (c == '{' || c == '[') {
            if (depth >= kMaxDepth)
                return false;
            ++m_p;
            const char close = c == '{' ? '}' : ']';
            if (expect(close))
                return true;
            do {
                if (c == '{' && !(skip(depth + 1) && expect(':')))
                    return false;
                if (!skip(depth + 1))
                    return false;
            } while (expect(','));
            return expect(close);
        }
        const char* start = m_p;
        while (m_p < m_end && (std::isalnum(uchar(*m_p)) || isNumberChar(*m_p)))
            ++m_p;
        return m_p > start;
    }

    // Checks the escapes, so that only text ReportParser::decode can read is
    // given to it.
    bool string(QByteArrayView* raw, bool* escaped) {
        // Not expect(): that skips the blanks after the quote, which are the
        // string's own text.
        if (peek() != '"')
            return false;
        ++m_p;
        const char* start = m_p;
        *escaped = false;
        for (;;) {
            while (m_p < m_end && *m_p != '"' && *m_p != '\\' && uchar(*m_p) >= 0x20)
                ++m_p;
            if (m_p == m_end || uchar(*m_p) < 0x20)
                return false;
            if (*m_p == '"')
                break;
            *escaped = true;
            if (!escape())
                return false;
        }
        *raw = QByteArrayView(start, m_p - start);
        ++m_p;
        return true;
    }

    // At a backslash.
    bool escape() {
        if (m_end - m_p < 2)
            return false;
        const char c = m_p[1];
        m_p += 2;
        if (c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' ||
            c == 't')
            return true;
        uint first = 0;
        if (c != 'u' || !hex(&first) || (first >= 0xdc00 && first <= 0xdfff))
            return false;
        if (first < 0xd800 || first > 0xdbff)
            return true;
        uint second = 0;
        if (m_end - m_p < 2 || m_p[0] != '\\' || m_p[1] != 'u')
            return false;
        m_p += 2;
        return hex(&second) && second >= 0xdc00 && second <= 0xdfff;
    }

    bool hex(uint* value) {
        if (m_end - m_p < 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigitValue(m_p[i]);
            if (digit < 0)
                return false;
            *value = *value * 16 + uint(digit);
        }
        m_p += 4;
        return true;
    }

    // The next character after white space, or NUL at the end.
    char peek() {
        while (m_p < m_end && isSpace(*m_p))
            ++m_p;
        return m_p < m_end ? *m_p : '\0';
    }
    bool expect(char c) {
        if (peek() != c)
            return false;
        ++m_p;
        while (m_p < m_end && isSpace(*m_p))
            ++m_p;
        return true;
    }

    const char* m_p;
    const char* m_end;
};

// A crash text is read for its signature up to this much: its reason and
// first frames lead, its image lines close it, and what lies between costs
// nothing, however long a stack a report claims.
constexpr qsizetype kCrashHead = 56 * 1024;
constexpr qsizetype kCrashTail = 8 * 1024;

QString signatureText(QString text) {
    if (text.size() <= kCrashHead + kCrashTail)
        return text;
    return text.first(kCrashHead) + text.last(kCrashTail);
}

QString clipped(QString s) {
    if (s.size() > RecordFacts::kMaxText)
        s.truncate(s[RecordFacts::kMaxText - 1].isHighSurrogate() ? RecordFacts::kMaxText - 1
                                                                  : RecordFacts::kMaxText);
    return s;
}

QString text(const RecordFacts::Value& m) {
    return m.escaped ? ReportParser::decode(m.raw) : QString::fromUtf8(m.raw);
}

std::optional<double> number(const RecordFacts::Value& m) {
    bool ok = false;
    const double value = m.isString ? 0 : m.raw.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString RecordFacts::dayOf(double ts) {
    if (!(ts >= kFirstTs && ts <= kLastTs))
        return {};
    const qint64 msecs = qint64(std::floor(ts)) * 1000;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).date().toString(Qt::ISODate);
}

RecordFacts::Value* RecordFacts::Members::named(QByteArrayView name) {
    const std::pair<QByteArrayView, Value*> wanted[] = {
        {"type", &type},         {"ts", &ts},          {"event_id", &eventId}, {"label", &label},
        {"duration", &duration}, {"context", &context}};
    for (const auto& [wantedName, value] : wanted)
        if (name == wantedName)
            return value;
    return nullptr;
}

RecordFacts RecordFacts::fromJson(QByteArrayView json) {
    // The members wanted, as they stand in the text; they are interpreted
    // once the record is known to be an object.
    Members members;
    const bool isObject = TopLevel(json).read([&members](const TopLevel::Member& m) {
        if (Value* value = members.named(m.name))
            *value = {m.raw, m.isString, m.escaped};
    });
    return isObject ? fromMembers(members) : RecordFacts();
}

RecordFacts RecordFacts::fromMembers(const Members& m) {
    RecordFacts facts;
    if (m.type.isString)
        facts.kind = clipped(text(m.type));
    facts.ts = number(m.ts);
    if (facts.ts)
        facts.day = dayOf(*facts.ts);
    if (facts.kind == u"event") {
        if (m.eventId.isString)
            facts.eventId = clipped(text(m.eventId));
        // An empty label names no network, as a missing one.
        if (m.label.isString && !m.label.raw.isEmpty())
            facts.label = clipped(text(m.label));
    } else if (facts.kind == u"terminate") {
        facts.duration = number(m.duration);
    } else if (facts.kind == u"error" && m.context.isString) {
        facts.crash = CrashSignature::fromContext(signatureText(text(m.context)));
    }
    return facts;
}
