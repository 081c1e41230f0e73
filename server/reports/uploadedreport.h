#pragma once

#include "server/reports/recordfacts.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

// A report as the parser reads it from the uploaded text, which it points
// into: the records and what the application says it dropped unsent.
struct UploadedReport {
    struct Record {
        QString id; // null when the record carries none
        // The record's own JSON text, a view into the report's text, or into
        // clippedJson when its crash text was cut.
        QByteArrayView json;
        QByteArray clippedJson = {};
        // Read in the parser's own pass over the text; a record made any
        // other way has them read from its text when it is kept.
        std::optional<RecordFacts> facts = std::nullopt;

        RecordFacts factsOrRead() const { return facts ? *facts : RecordFacts::fromJson(json); }
    };

    QList<Record> records;
    qint64 droppedRecords = 0;
};
