#pragma once

#include <QMargins>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

// An image that stretches from its caps, like a button background: the
// column right of the left cap and the row below the top cap are stretched,
// the four corners keep their size. A cap of 0 stretches the whole image in
// that direction. Sizes are in points.
class StretchableImage {
public:
    StretchableImage() = default;
    StretchableImage(const QPixmap& pixmap, const QString& path, int leftCapWidth,
                     int topCapHeight);

    bool isNull() const { return m_pixmap.isNull(); }
    QPixmap pixmap() const { return m_pixmap; }
    // The bundle file it was read from.
    QString path() const { return m_path; }
    int leftCapWidth() const { return m_leftCap; }
    int topCapHeight() const { return m_topCap; }
    QSizeF size() const;
    // The parts that keep their size, in points: left and top caps, and the
    // rest of the image beyond the one stretched column and row.
    QMargins capMargins() const;

    void draw(QPainter* painter, const QRectF& target) const;
    // The image at `size` points, `scale` pixels per point.
    QPixmap toPixmap(QSizeF size, double scale) const;
    // A style sheet "border-image" declaration (with its border widths) that
    // draws the image stretched from its caps; empty for a null image.
    QString borderImageDeclaration() const;

private:
    QPixmap m_pixmap;
    QString m_path;
    int m_leftCap = 0;
    int m_topCap = 0;
};
