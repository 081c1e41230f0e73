#pragma once

#include <QByteArray>
#include <QString>

// Carries one report to the collector. Runs on the analytics queue and may
// block there; true only when the collector has kept the report.
class AnalyticsUploader {
public:
    virtual ~AnalyticsUploader() = default;
    virtual bool send(const QByteArray& reportJson, QString* error) = 0;
};
