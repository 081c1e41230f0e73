#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

// Pictures for tests that hand images to the share service or screenshots.
// Header-only: the support library links Qt Core alone, and the tests that
// draw link Qt Gui themselves.

inline QImage filledImage(QColor color, QSize size = {64, 48}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

inline QByteArray pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}
