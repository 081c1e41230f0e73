#include "analytics/httpreportuploader.h"

#include <httplib.h>
#include <zlib.h>

HttpReportUploader::HttpReportUploader(std::function<QUrl()> reportUrl)
    : m_reportUrl(std::move(reportUrl)) {}

QByteArray HttpReportUploader::compress(const QByteArray& data) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    out.truncate(qsizetype(size));
    return out;
}

bool HttpReportUploader::send(const QByteArray& reportJson, QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QUrl url = m_reportUrl ? m_reportUrl() : QUrl();
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
        return fail(QStringLiteral("no report address"));
    const QByteArray body = compress(reportJson);
    if (body.isEmpty())
        return fail(QStringLiteral("the report could not be compressed"));

    httplib::Client client(url.host().toStdString(), url.port(80));
    client.set_connection_timeout(kConnectTimeoutSeconds);
    client.set_read_timeout(kReadTimeoutSeconds);
    client.set_write_timeout(kReadTimeoutSeconds);
    const httplib::Headers headers{{"Content-Encoding", "deflate"}};
    const std::string path = url.path(QUrl::FullyEncoded).toStdString();
    const auto result = client.Post(path.empty() ? "/" : path, headers, body.constData(),
                                    size_t(body.size()), "application/json");
    if (!result)
        return fail(QStringLiteral("%1: %2").arg(
            url.toString(), QString::fromStdString(httplib::to_string(result.error()))));
    if (result->status != 200)
        return fail(QStringLiteral("%1 answered %2: %3")
                        .arg(url.toString())
                        .arg(result->status)
                        .arg(QString::fromStdString(result->body).left(200)));
    return true;
}
