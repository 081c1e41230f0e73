#include "share/sheet/imagehelpers.h"

#include "platform/system/bundle.h"
#include "platform/uikit/images.h"

#include <QPainter>
#include <cmath>

namespace {

// The file Images::named reads for a name: the double-resolution one first.
QString fileOf(const QString& name) {
    QString base = name;
    QString type = QStringLiteral("png");
    const int dot = int(name.lastIndexOf(u'.'));
    if (dot > 0) {
        base = name.left(dot);
        type = name.mid(dot + 1);
    }
    const QString doubled = Bundle::pathForResource(base + QStringLiteral("@2x"), type);
    return doubled.isEmpty() ? Bundle::pathForResource(base, type) : doubled;
}

} // namespace

StretchableImage ImageHelpers::resizedImageWithName(const QString& name, double left, double top) {
    const QPixmap pixmap = Images::named(name);
    if (pixmap.isNull())
        return {};
    const QSizeF points = pixmap.deviceIndependentSize();
    return StretchableImage(pixmap, fileOf(name), int(std::trunc(left * points.width())),
                            int(std::trunc(top * points.height())));
}

StretchableImage ImageHelpers::plainImageWithName(const QString& name) {
    return resizedImageWithName(name, 0, 0);
}

QString ImageHelpers::buttonStyleSheet(const StretchableImage& normal,
                                       const StretchableImage& highlighted) {
    QString sheet;
    if (!normal.isNull())
        sheet += QStringLiteral("QPushButton { %1 }").arg(normal.borderImageDeclaration());
    if (!highlighted.isNull())
        sheet +=
            QStringLiteral(" QPushButton:pressed { %1 }").arg(highlighted.borderImageDeclaration());
    return sheet;
}

QImage ImageHelpers::TransformtoSize(const QImage& image, QSizeF size) {
    if (image.isNull() || size.isEmpty())
        return {};
    QImage result(QSize(qRound(size.width()), qRound(size.height())),
                  QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QImage source = image;
    source.setDevicePixelRatio(1);
    painter.drawImage(QRectF(QPointF(0, 0), size), source);
    return result;
}
