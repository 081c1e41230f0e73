#include "analyticsrecordcache.h"

#include "analyticslog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// The rename is only durable once the folder's entry is on disk too.
void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString AnalyticsRecordCache::fileName(const QString& bundleIdentifier) {
    return QStringLiteral(".%1_analyticsCache.plist").arg(bundleIdentifier);
}

AnalyticsRecordCache::AnalyticsRecordCache(QString path) : m_path(std::move(path)) {}

bool AnalyticsRecordCache::exists() const {
    return QFileInfo::exists(m_path);
}

std::optional<QJsonObject> AnalyticsRecordCache::load() const {
    QFile file(m_path);
    if (!file.exists())
        return std::nullopt;
    QJsonParseError error{};
    QJsonDocument doc;
    if (file.open(QIODevice::ReadOnly))
        doc = QJsonDocument::fromJson(file.readAll(), &error);
    else
        error.error = QJsonParseError::IllegalValue;
    const QJsonValue body = doc.object().value(QLatin1String("body"));
    if (error.error != QJsonParseError::NoError || !doc.isObject() ||
        !(body.isObject() || body.isUndefined())) {
        qCWarning(lcAnalytics).noquote()
            << "analytics cache" << m_path << "is unreadable ("
            << (error.error != QJsonParseError::NoError ? error.errorString()
                                                        : QStringLiteral("not a cache"))
            << "); ignored and deleted";
        remove();
        return std::nullopt;
    }
    if (body.toObject().isEmpty())
        return std::nullopt;
    return body.toObject();
}

bool AnalyticsRecordCache::save(const QJsonObject& body) const {
    const QByteArray data =
        QJsonDocument(QJsonObject{{QStringLiteral("body"), body}}).toJson(QJsonDocument::Compact);
    const QFileInfo info(m_path);
    QDir().mkpath(info.absolutePath());
    const QByteArray target = QFile::encodeName(m_path);
    const QByteArray temp = target + ".tmp" + QByteArray::number(qint64(::getpid()));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (fd >= 0)
        ::close(fd);
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        qCWarning(lcAnalytics).noquote() << "cannot write the analytics cache" << m_path << ':'
                                         << std::strerror(savedErrno ? savedErrno : errno);
        ::unlink(temp.constData());
        return false;
    }
    syncFolder(info.absolutePath());
    return true;
}

void AnalyticsRecordCache::remove() const {
    QFile::remove(m_path);
}
