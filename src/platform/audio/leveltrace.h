#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

// A recorded or hand-written sequence of meter levels: one "seconds dB" pair
// per line, times from the start of recording, not decreasing. Blank lines
// and lines starting with '#' are ignored; "nan" stands for an unreadable
// level.
class LevelTrace {
public:
    struct Point {
        double seconds;
        float db;
    };

    struct ParseError {
        int line;
        QString message;
    };

    static std::optional<LevelTrace> parse(QStringView text, ParseError* error);
    static std::optional<LevelTrace> load(const QString& path, ParseError* error);

    // The level in effect at `seconds` after the start: the last point at or
    // before that time, silence before the first point, the last level after
    // the end.
    float levelAt(double seconds) const;
    double duration() const;
    const std::vector<Point>& points() const { return m_points; }

private:
    std::vector<Point> m_points;
};
