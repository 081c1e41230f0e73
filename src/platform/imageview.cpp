#include "imageview.h"

#include "images.h"

#include <QPainter>

ImageView::ImageView(QWidget* parent) : QWidget(parent) {}

void ImageView::setImage(const QPixmap& image) {
    m_image = image;
    m_imageName.clear();
    update();
}

void ImageView::setImageNamed(const QString& name) {
    m_image = Images::named(name);
    m_imageName = name;
    update();
}

void ImageView::setContentMode(ContentMode mode) {
    m_mode = mode;
    update();
}

void ImageView::setBackgroundColor(const QColor& color) {
    m_background = color;
    update();
}

void ImageView::setAlpha(double alpha) {
    m_alpha = qBound(0.0, alpha, 1.0);
    update();
}

QRectF ImageView::imageRect() const {
    const QRectF frame(rect());
    if (m_mode == ContentMode::ScaleToFill || m_image.isNull())
        return frame;
    const QSizeF size = m_image.deviceIndependentSize().scaled(frame.size(), Qt::KeepAspectRatio);
    return {frame.center().x() - size.width() / 2, frame.center().y() - size.height() / 2,
            size.width(), size.height()};
}

void ImageView::paintEvent(QPaintEvent*) {
    if (m_alpha <= 0)
        return;
    QPainter painter(this);
    painter.setOpacity(m_alpha);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_background.alpha() > 0)
        painter.fillRect(rect(), m_background);
    if (!m_image.isNull())
        painter.drawPixmap(imageRect(), m_image, m_image.rect());
}
