#pragma once

#include <QWidget>

// A view that covers its parent and reports a single tap anywhere on it that
// no child took, like a view with a tap gesture recogniser.
class TapOverlay : public QWidget {
    Q_OBJECT
public:
    explicit TapOverlay(QWidget* parent = nullptr);

signals:
    void tapped();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};
