#include "analytics/records/analyticsrecordcache.h"

#include "analytics/records/analyticslog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

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
    auto drop = [this](const QString& why) {
        qCWarning(lcAnalytics).noquote()
            << "analytics cache" << m_path << "is unreadable (" << why << "); ignored and deleted";
        remove();
        return std::nullopt;
    };
    if (file.size() > kMaxFileBytes)
        return drop(QStringLiteral("%1 bytes, over %2").arg(file.size()).arg(kMaxFileBytes));
    QJsonParseError error{};
    QJsonDocument doc;
    if (file.open(QIODevice::ReadOnly))
        doc = QJsonDocument::fromJson(file.readAll(), &error);
    else
        error.error = QJsonParseError::IllegalValue;
    const QJsonValue body = doc.object().value(QLatin1String("body"));
    if (error.error != QJsonParseError::NoError)
        return drop(error.errorString());
    if (!doc.isObject() || !(body.isObject() || body.isUndefined()))
        return drop(QStringLiteral("not a cache"));
    if (body.toObject().isEmpty())
        return std::nullopt;
    return body.toObject();
}

// QSaveFile writes beside the target, flushes to disk and then replaces the
// target in one step.
bool AnalyticsRecordCache::save(const QJsonObject& body) const {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(QJsonDocument(QJsonObject{{QStringLiteral("body"), body}})
                                   .toJson(QJsonDocument::Compact)) >= 0 &&
                    file.commit();
    if (!ok)
        qCWarning(lcAnalytics).noquote()
            << "cannot write the analytics cache" << m_path << ':' << file.errorString();
    return ok;
}

void AnalyticsRecordCache::remove() const {
    QFile::remove(m_path);
}
