#pragma once

#include <QPixmap>
#include <QString>

// Images of the bundle by name, read from the file on every call. A name may
// carry its ".png" extension; the double-resolution file "name@2x.png" is
// preferred and drawn at half its pixel size in points.
class Images {
public:
    // A null pixmap when the bundle has no such image.
    static QPixmap named(const QString& name);
};
