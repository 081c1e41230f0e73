#pragma once

#include "support/zlibpacked.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

// A gzip-compressed report of one share event per id, as a test sends it
// to the collector. Header-only, as zlibPacked(): only tests that send
// reports link zlib.
inline QByteArray gzippedReport(const QStringList& ids) {
    QJsonArray records;
    for (const QString& id : ids)
        records.append(QJsonObject{{QStringLiteral("id"), id},
                                   {QStringLiteral("event"), QStringLiteral("blow_share")}});
    return zlibPacked(QJsonDocument(QJsonObject{{QStringLiteral("records"), records}}).toJson(),
                      31);
}
