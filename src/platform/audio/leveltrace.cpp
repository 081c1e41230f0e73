#include "platform/audio/leveltrace.h"

#include "platform/audio/audiorecorder.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// How much of an offending line an error message shows. A trace is a file
// someone hands us: a single line may be megabytes long or carry terminal
// escape sequences, and neither belongs on the user's terminal.
constexpr qsizetype kQuotedChars = 80;

QString quoted(QStringView text) {
    QString out = QStringLiteral("\"");
    for (QChar c : text.left(kQuotedChars)) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    out += u'"';
    if (text.size() > kQuotedChars)
        out += QStringLiteral(" (%1 characters in all)").arg(text.size());
    return out;
}

std::optional<float> parseLevel(QStringView field) {
    if (field.compare(u"nan", Qt::CaseInsensitive) == 0)
        return std::numeric_limits<float>::quiet_NaN();
    bool ok = false;
    const double db = field.toDouble(&ok);
    // The meter's levels are floats: a value finite as a double may still be
    // out of a float's range (and converting it would be undefined).
    if (!ok || !std::isfinite(db) || std::abs(db) > double(std::numeric_limits<float>::max()))
        return std::nullopt;
    return float(db);
}

} // namespace

std::optional<LevelTrace> LevelTrace::parse(QStringView text, ParseError* error) {
    LevelTrace trace;
    int lineNumber = 0;
    auto fail = [&](const QString& message) {
        if (error)
            *error = {lineNumber, message};
        return std::nullopt;
    };
    for (QStringView line : text.split(u'\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const auto fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() != 2)
            return fail(QStringLiteral("expected \"seconds dB\", got %1").arg(quoted(line)));
        bool ok = false;
        const double seconds = fields[0].toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0)
            return fail(QStringLiteral("bad time %1").arg(quoted(fields[0])));
        if (!trace.m_points.empty() && seconds < trace.m_points.back().seconds)
            return fail(QStringLiteral("time %1 goes back before %2")
                            .arg(seconds)
                            .arg(trace.m_points.back().seconds));
        const auto db = parseLevel(fields[1]);
        if (!db)
            return fail(QStringLiteral("bad level %1").arg(quoted(fields[1])));
        trace.m_points.push_back({seconds, *db});
    }
    if (trace.m_points.empty()) {
        // The piece after a final newline is not a line of its own.
        lineNumber = std::max(lineNumber - (text.endsWith(u'\n') ? 1 : 0), 1);
        return fail(QStringLiteral("no levels in the trace"));
    }
    return trace;
}

std::optional<LevelTrace> LevelTrace::load(const QString& path, ParseError* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = {0, QStringLiteral("cannot read: %1").arg(file.errorString())};
        return std::nullopt;
    }
    return parse(QString::fromUtf8(file.readAll()), error);
}

float LevelTrace::levelAt(double seconds) const {
    const auto after = std::upper_bound(m_points.begin(), m_points.end(), seconds,
                                        [](double t, const Point& p) { return t < p.seconds; });
    return after == m_points.begin() ? AudioRecorder::kSilenceDb : std::prev(after)->db;
}

double LevelTrace::duration() const {
    return m_points.empty() ? 0.0 : m_points.back().seconds;
}
