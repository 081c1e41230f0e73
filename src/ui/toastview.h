#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QPixmap>

// The box of a toast: a rounded translucent button that draws its text
// (white, with an optional dark grey shadow) and icon itself. Its opacity
// can be animated (the "alpha" property). A press anywhere on it is a touch
// down.
class ToastView : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(double alpha READ alpha WRITE setAlpha)
public:
    // The tag that marks a toast box in the window.
    static constexpr int kTag = 6984678;

    explicit ToastView(QWidget* parent = nullptr);

    // The toast box among the window's children, if there is one.
    static ToastView* findIn(QWidget* window);
    int tag() const;

    double alpha() const { return m_alpha; }
    void setAlpha(double alpha);

    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_background; }
    void setCornerRadius(double radius);
    double cornerRadius() const { return m_cornerRadius; }
    void setUseShadow(bool useShadow);
    bool useShadow() const { return m_useShadow; }
    void setLabelRect(const QRectF& rect, Qt::Alignment alignment);
    QRectF labelRect() const { return m_labelRect; }
    Qt::Alignment textAlignment() const { return m_alignment; }
    void setIcon(const QPixmap& icon, const QRectF& rect);
    QPixmap icon() const { return m_icon; }
    QRectF iconRect() const { return m_iconRect; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_alpha = 1.0;
    QColor m_background;
    double m_cornerRadius = 0;
    bool m_useShadow = false;
    QRectF m_labelRect;
    Qt::Alignment m_alignment = Qt::AlignCenter;
    QPixmap m_icon;
    QRectF m_iconRect;
};
