#include "platform/uikit/photoalbum.h"

#include "platform/system/dispatch.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcPhotoAlbum, "vantoro.photoalbum")

std::mutex g_mutex;
QString g_override;

void write(const QImage& image, const QString& folder) {
    if (!QDir().mkpath(folder)) {
        qCWarning(lcPhotoAlbum) << "cannot create" << folder;
        return;
    }
    // The name is claimed first with an exclusive create, which no other
    // save can win at the same time; the picture then replaces the empty
    // claim in one rename, so nobody sees a half-written file.
    const QString stem =
        folder + QStringLiteral("/Vantoro_") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss_zzz"));
    for (int n = 1; n < 1000; ++n) {
        const QString name =
            n == 1 ? stem + QStringLiteral(".png") : stem + u'_' + QString::number(n) + ".png";
        QFile claim(name);
        if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            continue;
        claim.close();
        QSaveFile file(name);
        if (file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit()) {
            qCInfo(lcPhotoAlbum) << "saved" << name;
        } else {
            QFile::remove(name);
            qCWarning(lcPhotoAlbum) << "cannot write" << name;
        }
        return;
    }
    qCWarning(lcPhotoAlbum) << "no free picture name in" << folder;
}

} // namespace

void PhotoAlbum::saveImage(const QImage& image) {
    if (image.isNull()) {
        qCWarning(lcPhotoAlbum) << "nothing to save: empty image";
        return;
    }
    const QString target = folder();
    Dispatch::shared().global([image, target] { write(image, target); });
}

QString PhotoAlbum::folder() {
    {
        std::lock_guard lock(g_mutex);
        if (!g_override.isEmpty())
            return g_override;
    }
    // Test mode moves the application's own folders aside but not Pictures;
    // the album follows, so that no test run fills the user's pictures.
    const QString pictures =
        QStandardPaths::isTestModeEnabled()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/Pictures")
            : QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return pictures + QStringLiteral("/Vantoro");
}

void PhotoAlbum::setFolder(const QString& path) {
    std::lock_guard lock(g_mutex);
    g_override = path;
}
