#pragma once

#include <QList>
#include <QString>
#include <optional>

// The city air-quality ranking shipped with the server as a JSON file:
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

    QString updated;
    QString note;
    // Cleanest first; ties keep the file's order.
    QList<City> cities;

    // Reads and checks the file; null with a reason when it is missing or
    // anything in it is off, so that no half-read ranking is ever shown.
    static std::optional<RankingTable> load(const QString& path, QString* error);
    static Level levelFor(int aqi);
};
