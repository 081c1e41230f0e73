#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>

// Images of the bundle by name, read from the file on every call. A name may
// carry its ".png" extension; the double-resolution file "name@2x.png" is
// preferred and drawn at half its pixel size in points.
class Images {
public:
    // A null pixmap when the bundle has no such image.
    static QPixmap named(const QString& name);

    // Reads and decodes the named images now, on the calling thread, which
    // may be any thread, before the application object exists too: the
    // next `named` of each takes the decoded picture instead of reading the
    // file again. For the start, which has the pictures of its first screen
    // decoded while the window system is being connected.
    static void prefetch(const QStringList& names);
};
