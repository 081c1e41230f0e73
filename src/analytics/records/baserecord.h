#pragma once

#include <QJsonObject>
#include <QString>

// What every analytics record carries: its kind, when it was made (local date
// and time for people, seconds since 1970 for machines), the session it
// belongs to, and whether a report under way carries it. The identifier lets
// the collector drop a record it already has, since a report whose answer is
// lost is sent again.
class BaseRecord {
public:
    QString id;
    QString type;
    QString date;
    QString time;
    double ts = 0;
    QString session_id;
    bool sendingFlag = false;

    // Fills the common fields for a record made now (seconds since 1970).
    void stamp(const QString& recordType, const QString& sessionId, double unixNow);

    QJsonObject toJson() const;
    // False when a common field is missing or of the wrong kind.
    bool readJson(const QJsonObject& object);
};
