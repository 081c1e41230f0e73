#include "platform/uikit/images.h"

#include "platform/system/bundle.h"

QPixmap Images::named(const QString& name) {
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
        QPixmap pixmap(path);
        if (pixmap.isNull())
            continue;
        pixmap.setDevicePixelRatio(ratio);
        return pixmap;
    }
    return {};
}
