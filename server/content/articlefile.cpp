#include "server/content/articlefile.h"

#include "server/content/markdownrenderer.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <variant>

namespace {

const QStringList kRequiredKeys{QStringLiteral("title"), QStringLiteral("tag"),
                                QStringLiteral("date"), QStringLiteral("summary")};
const QString kSampleKey = QStringLiteral("sample");

struct Field {
    QString value;
    int line = 0;
};

struct Failure {
    QString message;
    int line = 0;
};

// The file's lines, decoded; the 1-based number of the first line that is
// not UTF-8 otherwise.
std::variant<QStringList, Failure> decodedLines(const QByteArray& bytes) {
    QStringList lines;
    const QList<QByteArray> raw = bytes.split('\n');
    for (qsizetype i = 0; i < raw.size(); ++i) {
        // Stateless: a sequence cut at the line's end is an error, not
        // something to complete from the next line.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        QString line = decoder.decode(raw.at(i));
        if (decoder.hasError())
            return Failure{QStringLiteral("not valid UTF-8"), int(i + 1)};
        if (line.endsWith(u'\r'))
            line.chop(1);
        lines << line;
    }
    return lines;
}

// Reads the header that starts on the first line; sets *end to the index of
// its closing "---".
std::variant<QHash<QString, Field>, Failure> headerOf(const QStringList& lines, qsizetype* end) {
    if (lines.value(0) != QLatin1String("---"))
        return Failure{QStringLiteral("the file must start with a header line \"---\""), 1};
    QHash<QString, Field> fields;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        const int number = int(i + 1);
        if (line == QLatin1String("---")) {
            *end = i;
            return fields;
        }
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0)
            return Failure{QStringLiteral("expected \"key: value\" in the header"), number};
        const QString key = line.left(colon).trimmed();
        if (!kRequiredKeys.contains(key) && key != kSampleKey)
            return Failure{QStringLiteral("unknown header key \"%1\"").arg(key), number};
        if (fields.contains(key))
            return Failure{QStringLiteral("header key \"%1\" given twice (first on line %2)")
                               .arg(key)
                               .arg(fields.value(key).line),
                           number};
        fields.insert(key, {line.mid(colon + 1).trimmed(), number});
    }
    return Failure{QStringLiteral("the header has no closing \"---\" line"), 1};
}

std::optional<Failure> checkFields(const QHash<QString, Field>& fields, int endLine) {
    for (const QString& key : kRequiredKeys) {
        if (!fields.contains(key))
            return Failure{QStringLiteral("the header has no \"%1\"").arg(key), endLine};
        if (fields.value(key).value.isEmpty())
            return Failure{QStringLiteral("\"%1\" is empty").arg(key), fields.value(key).line};
    }
    static const QRegularExpression dateShape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    const Field date = fields.value(QStringLiteral("date"));
    if (!dateShape.match(date.value).hasMatch() ||
        !QDate::fromString(date.value, Qt::ISODate).isValid())
        return Failure{
            QStringLiteral("date \"%1\" is not a date written YYYY-MM-DD").arg(date.value),
            date.line};
    const Field sample = fields.value(kSampleKey);
    if (fields.contains(kSampleKey) && sample.value != QLatin1String("yes") &&
        sample.value != QLatin1String("no"))
        return Failure{QStringLiteral("sample is \"yes\" or \"no\""), sample.line};
    return std::nullopt;
}

} // namespace

bool ArticleFile::isValidId(const QString& id) {
    // Anchored at the very end: "$" would also match before a final newline.
    static const QRegularExpression shape(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_-]{1,64}")));
    return shape.match(id).hasMatch();
}

std::optional<Article> ArticleFile::parse(const QString& id, const QByteArray& bytes,
                                          Error* error) {
    auto fail = [error](const Failure& failure) {
        if (error)
            *error = {failure.message, failure.line};
        return std::nullopt;
    };
    if (bytes.size() > kMaxBytes)
        return fail({QStringLiteral("larger than %1 bytes").arg(kMaxBytes), 0});
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const auto decoded = decodedLines(text);
    if (const auto* failure = std::get_if<Failure>(&decoded))
        return fail(*failure);
    const QStringList& lines = std::get<QStringList>(decoded);

    qsizetype end = 0;
    const auto header = headerOf(lines, &end);
    if (const auto* failure = std::get_if<Failure>(&header))
        return fail(*failure);
    const auto& fields = std::get<QHash<QString, Field>>(header);
    if (const auto failure = checkFields(fields, int(end + 1)))
        return fail(*failure);

    const QString body = lines.mid(end + 1).join(u'\n');
    if (body.trimmed().isEmpty())
        return fail({QStringLiteral("no text after the header"), int(end + 2)});

    Article article;
    article.id = id;
    article.title = fields.value(QStringLiteral("title")).value;
    article.tag = fields.value(QStringLiteral("tag")).value;
    article.date = QDate::fromString(fields.value(QStringLiteral("date")).value, Qt::ISODate);
    article.summary = fields.value(QStringLiteral("summary")).value;
    article.sample = fields.value(kSampleKey).value == QLatin1String("yes");
    article.html = MarkdownRenderer::toHtml(body.toUtf8());
    return article;
}
