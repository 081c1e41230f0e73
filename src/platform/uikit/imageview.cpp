#include "platform/uikit/imageview.h"

#include "platform/uikit/images.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

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

void ImageView::setCornerRadius(double radius) {
    m_cornerRadius = std::max(0.0, radius);
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
    if (m_cornerRadius <= 0) {
        paintContent(painter);
        return;
    }
    // A clip path is not antialiased: the content goes into a layer whose
    // corners are then cut away with an antialiased shape.
    const qreal ratio = devicePixelRatioF();
    QPixmap layer(size() * ratio);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QPainter content(&layer);
        paintContent(content);
        const QRectF frame(rect());
        const double radius = std::min(m_cornerRadius, std::min(frame.width(), frame.height()) / 2);
        QPainterPath rounded;
        rounded.addRoundedRect(frame, radius, radius);
        QPainterPath corners;
        corners.addRect(frame);
        content.setRenderHint(QPainter::Antialiasing);
        content.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        content.fillPath(corners.subtracted(rounded), Qt::black);
    }
    painter.drawPixmap(QPointF(0, 0), layer);
}

void ImageView::paintContent(QPainter& painter) const {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_background.alpha() > 0)
        painter.fillRect(rect(), m_background);
    if (!m_image.isNull())
        painter.drawPixmap(imageRect(), m_image, m_image.rect());
}
