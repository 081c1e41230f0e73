#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The city air-quality ranking kept as a JSON file:
// {"updated": "...", "note": "...", "cities": [{"city": "北京", "aqi": 114, "pm25": 86}, ...]}.
class RankingTable {
public:
    struct City {
        int rank = 0;
        QString name;
        int aqi = 0;
        int pm25 = 0;
    };

    // The Chinese AQI category of a value: its name and its colour.
    struct Level {
        QString name;
        QString colour;
        QString textColour;
    };

    // Why a text is not a ranking; line is 1-based, 0 when no one line is to blame.
    struct Error {
        QString message;
        int line = 0;
    };

    QString updated;
    QString note;
    // Cleanest first; ties keep the file's order.
    QList<City> cities;

    // Checks the whole text; null with a reason when anything in it is off,
    // so that no half-read ranking is ever shown.
    static std::optional<RankingTable> parse(const QByteArray& json, Error* error);
    static Level levelFor(int aqi);
};
