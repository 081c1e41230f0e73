#include "platform/uikit/scrollview.h"

#include "platform/uikit/viewanimation.h"

ScrollView::ScrollView(QWidget* parent) : QWidget(parent), m_content(new QWidget(this)) {}

void ScrollView::setContentSize(QSizeF size) {
    m_contentSize = size;
    placeContent();
}

void ScrollView::setContentOffset(QPointF offset) {
    m_offset = offset;
    placeContent();
}

void ScrollView::setContentOffset(QPointF offset, bool animated) {
    if (animated) {
        ViewAnimation::animate(this, "contentOffset", offset, kAnimatedScrollSeconds);
        return;
    }
    ViewAnimation::cancel(this, "contentOffset");
    setContentOffset(offset);
}

void ScrollView::scrollRectToVisible(const QRectF& rect, bool animated) {
    const QRectF visible(m_offset, QSizeF(size()));
    QPointF target = m_offset;
    if (rect.top() < visible.top())
        target.setY(rect.top());
    else if (rect.bottom() > visible.bottom())
        target.setY(std::min(rect.top(), rect.bottom() - visible.height()));
    if (rect.left() < visible.left())
        target.setX(rect.left());
    else if (rect.right() > visible.right())
        target.setX(std::min(rect.left(), rect.right() - visible.width()));
    setContentOffset(target, animated);
}

void ScrollView::resizeEvent(QResizeEvent*) {
    placeContent();
}

void ScrollView::placeContent() {
    m_content->setGeometry(QRectF(-m_offset, m_contentSize).toRect());
}
