#include "platform/uikit/images.h"

#include "platform/system/bundle.h"

#include <QHash>
#include <QImage>
#include <mutex>

namespace {

QImage readFile(const QString& name) {
    QString base = name;
    QString type = QStringLiteral("png");
    const int dot = name.lastIndexOf(u'.');
    if (dot > 0) {
        base = name.left(dot);
        type = name.mid(dot + 1);
    }
    for (const auto& [suffix, ratio] :
         {std::pair{QStringLiteral("@2x"), 2.0}, std::pair{QString(), 1.0}}) {
        const QString path = Bundle::pathForResource(base + suffix, type);
        if (path.isEmpty())
            continue;
        QImage image(path);
        if (image.isNull())
            continue;
        image.setDevicePixelRatio(ratio);
        return image;
    }
    return {};
}

// Decoded ahead of their first use; each is taken once.
std::mutex g_mutex;
QHash<QString, QImage>& prefetched() {
    static QHash<QString, QImage> images;
    return images;
}

QImage decoded(const QString& name) {
    {
        std::lock_guard lock(g_mutex);
        if (prefetched().contains(name))
            return prefetched().take(name);
    }
    return readFile(name);
}

} // namespace

QPixmap Images::named(const QString& name) {
    return QPixmap::fromImage(decoded(name));
}

void Images::prefetch(const QStringList& names) {
    for (const QString& name : names) {
        const QImage image = readFile(name);
        std::lock_guard lock(g_mutex);
        prefetched().insert(name, image);
    }
}
