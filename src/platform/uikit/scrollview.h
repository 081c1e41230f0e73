#pragma once

#include <QPointF>
#include <QSizeF>
#include <QWidget>

// A vertically and horizontally scrollable area whose content offset is set
// in code: the content view moves by minus the offset inside the frame.
// The "contentOffset" property can be animated.
class ScrollView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QPointF contentOffset READ contentOffset WRITE setContentOffset)
public:
    static constexpr double kAnimatedScrollSeconds = 0.3;

    explicit ScrollView(QWidget* parent = nullptr);

    QWidget* contentView() const { return m_content; }
    QSizeF contentSize() const { return m_contentSize; }
    void setContentSize(QSizeF size);

    QPointF contentOffset() const { return m_offset; }
    void setContentOffset(QPointF offset);
    void setContentOffset(QPointF offset, bool animated);
    // Scrolls as little as needed to bring the rectangle (in content
    // coordinates) into view.
    void scrollRectToVisible(const QRectF& rect, bool animated);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeContent();

    QWidget* m_content;
    QSizeF m_contentSize;
    QPointF m_offset;
};
