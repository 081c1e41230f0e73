#include "platform/uikit/tapoverlay.h"

#include <QMouseEvent>

TapOverlay::TapOverlay(QWidget* parent) : QWidget(parent) {}

void TapOverlay::mousePressEvent(QMouseEvent* event) {
    m_pressed = true;
    event->accept();
}

void TapOverlay::mouseReleaseEvent(QMouseEvent* event) {
    // Children without a handler of their own (labels, the card) pass their
    // presses up to here, so a tap on them counts as a tap on the overlay.
    if (m_pressed && rect().contains(event->position().toPoint()))
        emit tapped();
    m_pressed = false;
}
