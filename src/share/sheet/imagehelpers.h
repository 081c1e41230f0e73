#pragma once

#include "share/sheet/stretchableimage.h"

#include <QImage>
#include <QSizeF>
#include <QString>

// Button backgrounds from bundle images, and redrawing an image at a size.
class ImageHelpers {
public:
    // The named image with a left cap of `left` x its width and a top cap of
    // `top` x its height, in points, each truncated toward zero. Null when
    // the bundle has no such image.
    static StretchableImage resizedImageWithName(const QString& name, double left = 0.5,
                                                 double top = 0.5);
    // The named image stretched as a whole.
    static StretchableImage plainImageWithName(const QString& name);

    // A push button style sheet with `normal` as its background and
    // `highlighted` while it is pressed; a null image leaves that state's
    // background alone.
    static QString buttonStyleSheet(const StretchableImage& normal,
                                    const StretchableImage& highlighted);

    // The image drawn into `size` points at scale 1; the aspect ratio is not
    // kept. Null for a null image or an empty size.
    static QImage TransformtoSize(const QImage& image, QSizeF size);
};
