#pragma once

#include "analytics/records/baserecord.h"

// A crash: the report context names the crash text and the executable image
// it happened in, so that it can later be matched to its symbols.
class ErrorRecord : public BaseRecord {
public:
    QString context;

    QJsonObject toJson() const;
    bool readJson(const QJsonObject& object);
};
