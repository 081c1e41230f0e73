#include "platform/system/localizedstrings.h"

#include "platform/system/bundle.h"

#include <QFile>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <mutex>
#include <optional>

Q_LOGGING_CATEGORY(lcStrings, "vantoro.strings")

namespace {

class Parser {
public:
    explicit Parser(QStringView text) : m_text(text) {}

    QHash<QString, QString> run(LocalizedStrings::ParseError* error) {
        QHash<QString, QString> table;
        while (skipSpace()) {
            const int statementLine = m_line;
            const auto key = string(QStringLiteral("a key"));
            if (!key)
                break;
            QString value = *key;
            if (!skipSpace()) {
                setError(statementLine, QStringLiteral("missing ';' at end of file"));
                break;
            }
            if (peek() == u'=') {
                ++m_pos;
                const auto v = skipSpace() ? string(QStringLiteral("a value")) : std::nullopt;
                if (!v) {
                    setError(statementLine, QStringLiteral("missing value at end of file"));
                    break;
                }
                value = *v;
                if (!skipSpace()) {
                    setError(statementLine, QStringLiteral("missing ';' at end of file"));
                    break;
                }
            }
            if (peek() != u';') {
                setError(m_line,
                         QStringLiteral("expected ';' after the entry of \"%1\"").arg(*key));
                break;
            }
            ++m_pos;
            // Only a statement read up to its ';' counts, so a broken file
            // never yields a half-read text.
            table.insert(*key, value);
        }
        if (error)
            *error = {m_error.isEmpty() ? 0 : m_errorLine, m_error};
        return table;
    }

private:
    QChar peek(qsizetype ahead = 0) const {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : QChar();
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    void advance() {
        if (m_text[m_pos] == u'\n')
            ++m_line;
        ++m_pos;
    }

    // Skips blanks and comments; false at the end of the text or on an
    // unterminated comment (which sets the error).
    bool skipSpace() {
        while (!atEnd()) {
            const QChar c = peek();
            if (c.isSpace()) {
                advance();
            } else if (c == u'/' && peek(1) == u'/') {
                while (!atEnd() && peek() != u'\n')
                    advance();
            } else if (c == u'/' && peek(1) == u'*') {
                const int start = m_line;
                m_pos += 2;
                while (!atEnd() && !(peek() == u'*' && peek(1) == u'/'))
                    advance();
                if (atEnd()) {
                    setError(start, QStringLiteral("unterminated comment"));
                    return false;
                }
                m_pos += 2;
            } else {
                return true;
            }
        }
        return false;
    }

    static bool isBareChar(QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'_' || c == u'$' ||
               c == u'.' || c == u'/' || c == u':' || c == u'-' || c == u'+';
    }

    std::optional<QString> string(const QString& what) {
        if (peek() == u'"')
            return quoted();
        QString bare;
        while (!atEnd() && isBareChar(peek()))
            bare += m_text[m_pos++];
        if (bare.isEmpty()) {
            setError(m_line, QStringLiteral("expected %1, found '%2'").arg(what, peek()));
            return std::nullopt;
        }
        return bare;
    }

    std::optional<QString> quoted() {
        const int start = m_line;
        ++m_pos;
        QString out;
        while (!atEnd()) {
            const QChar c = peek();
            if (c == u'"') {
                ++m_pos;
                return out;
            }
            if (c != u'\\') {
                out += c;
                advance();
                continue;
            }
            ++m_pos;
            if (atEnd())
                break;
            const QChar e = peek();
            ++m_pos;
            switch (e.unicode()) {
            case 'n':
                out += u'\n';
                break;
            case 't':
                out += u'\t';
                break;
            case 'r':
                out += u'\r';
                break;
            case 'U':
            case 'u': {
                bool ok = m_pos + 4 <= m_text.size();
                const uint code = ok ? m_text.mid(m_pos, 4).toUInt(&ok, 16) : 0;
                if (!ok) {
                    setError(m_line, QStringLiteral("bad \\U escape"));
                    return std::nullopt;
                }
                out += QChar(char16_t(code));
                m_pos += 4;
                break;
            }
            case '\n':
                ++m_line;
                out += e;
                break;
            default:
                // \" \\ \' and any other escaped character stand for themselves.
                out += e;
            }
        }
        setError(start, QStringLiteral("unterminated string"));
        return std::nullopt;
    }

    void setError(int line, const QString& message) {
        if (m_error.isEmpty()) {
            m_errorLine = line;
            m_error = message;
        }
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_errorLine = 0;
    QString m_error;
};

QHash<QString, QString> loadTable(const QString& table) {
    const QString path = Bundle::pathForResource(table, QStringLiteral("strings"));
    if (path.isEmpty()) {
        qCWarning(lcStrings).noquote() << "no strings table" << table + QStringLiteral(".strings")
                                       << "in the bundle; its keys show as they are";
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcStrings).noquote() << "cannot read" << path << ':' << file.errorString();
        return {};
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        qCWarning(lcStrings).noquote() << path << "is not UTF-8 text; none of its entries are used";
        return {};
    }
    LocalizedStrings::ParseError error;
    QHash<QString, QString> entries = LocalizedStrings::parse(text, &error);
    if (error.line > 0)
        qCWarning(lcStrings).noquote()
            << QStringLiteral("%1:%2: %3; the %4 entries before it are used, the rest of the file "
                              "is ignored")
                   .arg(path)
                   .arg(error.line)
                   .arg(error.message)
                   .arg(entries.size());
    return entries;
}

} // namespace

QHash<QString, QString> LocalizedStrings::parse(QStringView text, ParseError* error) {
    return Parser(text).run(error);
}

QString LocalizedStrings::localizedStringForKey(const QString& key, const QString& value,
                                                const QString& table) {
    const QString name = table.isEmpty() ? QStringLiteral("Localizable") : table;
    // Keyed by bundle folder as well, so that a bundle moved by a test or a
    // tool is read afresh rather than answered from another bundle's table.
    const QString cacheKey = Bundle::resourcePath() + u'\n' + name;

    static std::mutex mutex;
    static QHash<QString, QHash<QString, QString>> cache;
    std::lock_guard lock(mutex);
    auto it = cache.constFind(cacheKey);
    if (it == cache.constEnd())
        it = cache.insert(cacheKey, loadTable(name));
    if (const auto entry = it->constFind(key); entry != it->constEnd())
        return *entry;
    return value.isEmpty() ? key : value;
}
