#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

// An image in a frame, drawn to fill the frame or fitted into it with its
// proportions kept, over an optional background colour. Its alpha can be
// animated (the "alpha" property).
class ImageView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double alpha READ alpha WRITE setAlpha)
public:
    enum class ContentMode { ScaleToFill, AspectFit };

    explicit ImageView(QWidget* parent = nullptr);

    QPixmap image() const { return m_image; }
    void setImage(const QPixmap& image);
    // The name the image was last set by (empty for a pixmap set directly).
    QString imageName() const { return m_imageName; }
    void setImageNamed(const QString& name);

    ContentMode contentMode() const { return m_mode; }
    void setContentMode(ContentMode mode);
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_background; }

    double alpha() const { return m_alpha; }
    void setAlpha(double alpha);

    // Rounds the corners and clips the background and the image to them,
    // like a layer's corner radius with clipping to its bounds. A radius
    // beyond half the shorter side rounds that side fully.
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);

    // Where the image is drawn inside the view, in the view's coordinates.
    QRectF imageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintContent(QPainter& painter) const;

    QPixmap m_image;
    QString m_imageName;
    ContentMode m_mode = ContentMode::ScaleToFill;
    QColor m_background = Qt::transparent;
    double m_alpha = 1.0;
    double m_cornerRadius = 0.0;
};
