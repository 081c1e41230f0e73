#include "analytics/report/httpreportuploader.h"

#include "analytics/report/extracertificates.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
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
    const bool web =
        url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || !web || url.host().isEmpty())
        return fail(QStringLiteral("no report address"));
    const QByteArray body = compress(reportJson);
    if (body.isEmpty())
        return fail(QStringLiteral("the report could not be compressed"));

    if (url.scheme() == QLatin1String("https"))
        ExtraCertificates::trustOnce();

    // A manager of this thread's own, for this one exchange (it owns the
    // reply): the queue's threads run no event loop but the one waiting here.
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Content-Encoding", "deflate");
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = manager.post(request, body);
    QEventLoop wait;
    QObject::connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
    if (!reply->isFinished())
        wait.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0)
        // Not reached, refused, timed out, or a certificate that does not
        // hold: Qt's words name the host and the reason.
        return fail(QStringLiteral("%1: %2").arg(url.toString(), reply->errorString()));
    if (status != 200)
        return fail(QStringLiteral("%1 answered %2: %3")
                        .arg(url.toString())
                        .arg(status)
                        .arg(QString::fromUtf8(reply->readAll()).left(200)));
    return true;
}
