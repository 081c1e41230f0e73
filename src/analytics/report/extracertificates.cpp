#include "analytics/report/extracertificates.h"

#include "analytics/records/analyticslog.h"

#include <QDir>
#include <QFileInfo>
#include <QSslConfiguration>
#include <mutex>

namespace {

QList<QSslCertificate> certificatesIn(const QString& path, const char* variable) {
    QList<QSslCertificate> found;
    if (QFileInfo(path).isDir()) {
        const QFileInfoList files = QDir(path).entryInfoList(QDir::Files | QDir::Readable);
        for (const QFileInfo& file : files)
            found += QSslCertificate::fromPath(file.filePath(), QSsl::Pem);
    } else {
        found = QSslCertificate::fromPath(path, QSsl::Pem);
    }
    if (found.isEmpty())
        qCWarning(lcAnalytics).noquote()
            << variable << "names" << path << "but no certificate could be read there";
    return found;
}

} // namespace

QList<QSslCertificate> ExtraCertificates::fromEnvironment() {
    QList<QSslCertificate> found;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (!file.isEmpty())
        found += certificatesIn(file, "SSL_CERT_FILE");
    const QStringList folders =
        qEnvironmentVariable("SSL_CERT_DIR").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    for (const QString& folder : folders)
        found += certificatesIn(folder, "SSL_CERT_DIR");
    // A folder's hash links name its files a second time.
    QList<QSslCertificate> once;
    for (const QSslCertificate& certificate : std::as_const(found))
        if (!once.contains(certificate))
            once << certificate;
    return once;
}

void ExtraCertificates::trustOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        const QList<QSslCertificate> extra = fromEnvironment();
        if (extra.isEmpty())
            return;
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificates(extra);
        QSslConfiguration::setDefaultConfiguration(configuration);
        qCInfo(lcAnalytics).noquote()
            << "reports trust" << extra.size()
            << (extra.size() == 1 ? "certificate" : "certificates")
            << "named by SSL_CERT_FILE or SSL_CERT_DIR besides the system's";
    });
}
