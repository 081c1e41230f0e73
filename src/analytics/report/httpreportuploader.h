#pragma once

#include "analytics/report/analyticsuploader.h"

#include <QUrl>
#include <functional>

// Posts a report, zlib-compressed, to the content server's report address,
// over http or https (verified against the system's certificates) through
// Qt Network, the application's one HTTP client.
class HttpReportUploader : public AnalyticsUploader {
public:
    // Asked before each report, so that the address can be set after start.
    explicit HttpReportUploader(std::function<QUrl()> reportUrl);

    // Blocks the calling thread (the analytics queue) until the answer.
    bool send(const QByteArray& reportJson, QString* error) override;

    static QByteArray compress(const QByteArray& data);

    // How long the exchange may stand still before it is given up.
    static constexpr int kTransferTimeoutMs = 10000;

private:
    std::function<QUrl()> m_reportUrl;
};
