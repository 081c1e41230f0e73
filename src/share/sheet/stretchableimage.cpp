#include "share/sheet/stretchableimage.h"

#include <QPainter>
#include <cmath>

StretchableImage::StretchableImage(const QPixmap& pixmap, const QString& path, int leftCapWidth,
                                   int topCapHeight)
    : m_pixmap(pixmap), m_path(path), m_leftCap(leftCapWidth), m_topCap(topCapHeight) {}

QSizeF StretchableImage::size() const {
    return m_pixmap.deviceIndependentSize();
}

QMargins StretchableImage::capMargins() const {
    const QSizeF points = size();
    const int w = int(std::floor(points.width()));
    const int h = int(std::floor(points.height()));
    const int left = m_leftCap > 0 ? std::min(m_leftCap, w) : 0;
    const int top = m_topCap > 0 ? std::min(m_topCap, h) : 0;
    const int right = left > 0 ? std::max(0, w - left - 1) : 0;
    const int bottom = top > 0 ? std::max(0, h - top - 1) : 0;
    return {left, top, right, bottom};
}

void StretchableImage::draw(QPainter* painter, const QRectF& target) const {
    if (isNull() || target.isEmpty())
        return;
    const double ratio = m_pixmap.devicePixelRatio();
    const QMargins m = capMargins();
    const QSizeF points = size();
    // Three columns and rows each in source points and in target points; a
    // target too small for its caps shrinks them in proportion.
    const double scaleX = std::min(1.0, target.width() / std::max(1, m.left() + m.right()));
    const double scaleY = std::min(1.0, target.height() / std::max(1, m.top() + m.bottom()));
    const double srcX[4] = {0, double(m.left()), points.width() - m.right(), points.width()};
    const double srcY[4] = {0, double(m.top()), points.height() - m.bottom(), points.height()};
    const double dstX[4] = {target.left(), target.left() + m.left() * scaleX,
                            target.right() - m.right() * scaleX, target.right()};
    const double dstY[4] = {target.top(), target.top() + m.top() * scaleY,
                            target.bottom() - m.bottom() * scaleY, target.bottom()};
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF source(srcX[col] * ratio, srcY[row] * ratio,
                                (srcX[col + 1] - srcX[col]) * ratio,
                                (srcY[row + 1] - srcY[row]) * ratio);
            const QRectF dest(dstX[col], dstY[row], dstX[col + 1] - dstX[col],
                              dstY[row + 1] - dstY[row]);
            if (source.isEmpty() || dest.isEmpty())
                continue;
            painter->drawPixmap(dest, m_pixmap, source);
        }
    }
    painter->restore();
}

QPixmap StretchableImage::toPixmap(QSizeF size, double scale) const {
    if (isNull() || size.isEmpty())
        return {};
    QPixmap pixmap(
        QSize(int(std::ceil(size.width() * scale)), int(std::ceil(size.height() * scale))));
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    draw(&painter, QRectF(QPointF(0, 0), size));
    return pixmap;
}

QString StretchableImage::borderImageDeclaration() const {
    if (isNull() || m_path.isEmpty())
        return {};
    const QMargins m = capMargins();
    const double ratio = m_pixmap.devicePixelRatio();
    // Slices count pixels of the file, border widths points of the widget.
    // The border widths would also shrink the button's contents to what is
    // left between the caps (1 point for a background cut in halves) and clip
    // its title; the negative padding gives the contents the whole button
    // back, as a background image should.
    const auto px = [ratio](int points) { return QString::number(qRound(points * ratio)); };
    const QString widths = QStringLiteral("%1px %2px %3px %4px")
                               .arg(m.top())
                               .arg(m.right())
                               .arg(m.bottom())
                               .arg(m.left());
    const QString negative = QStringLiteral("-%1px -%2px -%3px -%4px")
                                 .arg(m.top())
                                 .arg(m.right())
                                 .arg(m.bottom())
                                 .arg(m.left());
    return QStringLiteral("border-image: url(\"%1\") %2 %3 %4 %5 stretch stretch; "
                          "border-width: %6; padding: %7;")
        .arg(m_path, px(m.top()), px(m.right()), px(m.bottom()), px(m.left()), widths, negative);
}
