#pragma once

#include "analytics/analyticsuploader.h"

#include <QUrl>
#include <functional>

// Posts a report, zlib-compressed, to the content server's report address.
class HttpReportUploader : public AnalyticsUploader {
public:
    // Asked before each report, so that the address can be set after start.
    explicit HttpReportUploader(std::function<QUrl()> reportUrl);

    bool send(const QByteArray& reportJson, QString* error) override;

    static QByteArray compress(const QByteArray& data);

    static constexpr int kConnectTimeoutSeconds = 5;
    static constexpr int kReadTimeoutSeconds = 10;

private:
    std::function<QUrl()> m_reportUrl;
};
