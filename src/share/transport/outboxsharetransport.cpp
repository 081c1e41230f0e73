#include "share/transport/outboxsharetransport.h"

#include "platform/system/folders.h"
#include "share/transport/sharelog.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

bool writeAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A base name that neither the record nor the image of an earlier post uses;
// posts within the same millisecond get a counter, written so that names sort
// in the order the posts were made.
QString freeBaseName(const QDir& dir, const QDateTime& time, const QString& platform) {
    const QString stem =
        time.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmsszzz")) + u'-' + platform;
    QString base = stem;
    for (int n = 2;
         dir.exists(base + QStringLiteral(".json")) || dir.exists(base + QStringLiteral(".png"));
         ++n)
        base = stem + u'_' + QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
    return base;
}

} // namespace

QString OutboxShareTransport::folder() const {
    return m_folder.isEmpty() ? Folders::documents() + QStringLiteral("/outbox") : m_folder;
}

bool OutboxShareTransport::send(const SharePost& post, QWidget*) {
    const QDir dir(folder());
    if (!QDir().mkpath(dir.path())) {
        qCWarning(lcShare) << "outbox: cannot create" << dir.path();
        return false;
    }
    const QDateTime time = post.time.isValid() ? post.time : QDateTime::currentDateTimeUtc();
    const QString base = freeBaseName(dir, time, post.platform);

    QString imageName;
    if (!post.imagePng.isEmpty()) {
        imageName = base + QStringLiteral(".png");
        if (!writeAtomically(dir.filePath(imageName), post.imagePng)) {
            qCWarning(lcShare) << "outbox: cannot write" << dir.filePath(imageName);
            return false;
        }
    }

    QJsonObject record{
        {QStringLiteral("platform"), post.platform},
        {QStringLiteral("title"), post.title},
        {QStringLiteral("text"), post.text},
        {QStringLiteral("link"), post.link},
        {QStringLiteral("image"), imageName},
        {QStringLiteral("time"), time.toUTC().toString(Qt::ISODateWithMs)},
    };
    if (!post.resourceUrl.isEmpty()) {
        record.insert(QStringLiteral("resourceType"), post.resourceType);
        record.insert(QStringLiteral("resourceUrl"), post.resourceUrl);
    }
    const QString recordPath = dir.filePath(base + QStringLiteral(".json"));
    if (!writeAtomically(recordPath, QJsonDocument(record).toJson(QJsonDocument::Indented))) {
        qCWarning(lcShare) << "outbox: cannot write" << recordPath;
        if (!imageName.isEmpty())
            QFile::remove(dir.filePath(imageName));
        return false;
    }
    m_lastFile = recordPath;
    qCInfo(lcShare) << "outbox:" << post.platform << "->" << recordPath;
    return true;
}
