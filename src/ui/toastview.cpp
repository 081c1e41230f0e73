#include "ui/toastview.h"

#include <QPainter>
#include <QPainterPath>

namespace {
const char* const kTagProperty = "vantoroTag";
}

ToastView::ToastView(QWidget* parent) : QAbstractButton(parent) {
    setProperty(kTagProperty, kTag);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TranslucentBackground);
}

ToastView* ToastView::findIn(QWidget* window) {
    if (!window)
        return nullptr;
    for (ToastView* view : window->findChildren<ToastView*>(Qt::FindDirectChildrenOnly)) {
        if (view->property(kTagProperty).toInt() == kTag)
            return view;
    }
    return nullptr;
}

int ToastView::tag() const {
    return property(kTagProperty).toInt();
}

void ToastView::setAlpha(double alpha) {
    m_alpha = alpha;
    update();
}

void ToastView::setBackgroundColor(const QColor& color) {
    m_background = color;
    update();
}

void ToastView::setCornerRadius(double radius) {
    m_cornerRadius = radius;
    update();
}

void ToastView::setUseShadow(bool useShadow) {
    m_useShadow = useShadow;
    update();
}

void ToastView::setLabelRect(const QRectF& rect, Qt::Alignment alignment) {
    m_labelRect = rect;
    m_alignment = alignment;
    update();
}

void ToastView::setIcon(const QPixmap& icon, const QRectF& rect) {
    m_icon = icon;
    m_iconRect = rect;
    update();
}

void ToastView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_alpha);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    painter.fillPath(path, m_background);
    if (!m_icon.isNull() && !m_iconRect.isEmpty())
        painter.drawPixmap(m_iconRect, m_icon, QRectF(m_icon.rect()));

    painter.setFont(font());
    const int flags = int(m_alignment) | Qt::TextWordWrap;
    // The label clips its text to its own frame, as the phone's label does.
    painter.setClipRect(m_labelRect);
    if (m_useShadow) {
        painter.setPen(Qt::darkGray);
        painter.drawText(m_labelRect.translated(1, 1), flags, text());
    }
    painter.setPen(Qt::white);
    painter.drawText(m_labelRect, flags, text());
}
