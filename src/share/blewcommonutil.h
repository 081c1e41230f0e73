#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <QVariant>

// The share screenshot: the whole key window at the screen's scale, cut to
// the pixel rectangle (0, 0, 2W, 2H) within the bitmap, a copy handed to the
// photo album, and PNG data. Main thread only: it renders the live window.
class BlewCommonUtil {
public:
    // PNG of the screenshot for a screen of `size` points; empty when there
    // is no key window.
    QByteArray getScreenShotDataWith(QSizeF size) const;
    // The screenshot written to "screenShow.png" and read back from it; when
    // the write fails, whatever the file held before (a null image when
    // there never was one).
    QImage getScreenShotImgWith(QSizeF size) const;
    // Nothing to load: always null.
    QVariant loadWordsFromServer() const { return {}; }

    // The same steps on a bitmap of the window at `scale` pixels per point:
    // an opaque image of W x H points at that scale with the window drawn
    // at its top left, cut as above. No album copy.
    static QImage shareImageOf(const QImage& window, QSizeF size, double scale);

    // "screenShow.png" in the documents folder.
    static QString screenShowPath();
    // Replaces the file atomically; false (and the old file kept) on failure.
    static bool writeScreenShow(const QByteArray& png);
    // Null when the file is missing or unreadable.
    static QImage readScreenShow();
};
