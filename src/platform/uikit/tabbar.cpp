#include "platform/uikit/tabbar.h"

#include <QMouseEvent>
#include <QPainter>

TabBar::TabBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    resize(320, kHeight);
}

void TabBar::addItem(const QString& title, const QPixmap& icon) {
    m_items.push_back({title, icon});
    if (m_selected < 0)
        m_selected = 0;
    update();
}

QString TabBar::itemTitle(int index) const {
    return index >= 0 && index < count() ? m_items[index].title : QString();
}

void TabBar::setSelectedIndex(int index) {
    if (index < 0 || index >= count() || index == m_selected)
        return;
    m_selected = index;
    update();
}

void TabBar::setBackgroundImage(const QPixmap& image) {
    m_backgroundImage = image;
    update();
}

void TabBar::setBackgroundColor(const QColor& color) {
    m_backgroundColor = color;
    update();
}

void TabBar::setTranslucent(bool translucent) {
    m_translucent = translucent;
    update();
}

void TabBar::setTintColor(const QColor& color) {
    m_tintColor = color;
    update();
}

void TabBar::setAlpha(double alpha) {
    m_alpha = qBound(0.0, alpha, 1.0);
    update();
}

QRectF TabBar::itemRect(int index) const {
    const double w = double(width()) / std::max(1, count());
    return {index * w, 0, w, double(height())};
}

void TabBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(m_alpha);
    // An opaque bar would hide the screens' bottom edge; a translucent one
    // lets them show through its background.
    if (!m_translucent)
        painter.fillRect(rect(), Qt::white);
    if (!m_backgroundImage.isNull())
        painter.drawPixmap(rect(), m_backgroundImage);
    painter.fillRect(rect(), m_backgroundColor);
    for (int i = 0; i < count(); ++i)
        paintItem(painter, i);
}

void TabBar::paintItem(QPainter& painter, int index) const {
    const QRectF r = itemRect(index);
    const bool selected = index == m_selected;
    const QColor color = selected ? m_tintColor : QColor(0x8e, 0x8e, 0x93);
    const Item& item = m_items[index];
    if (!item.icon.isNull()) {
        const QSizeF iconSize(30, 30);
        const QRectF iconRect(r.center().x() - iconSize.width() / 2, 4, iconSize.width(),
                              iconSize.height());
        QPixmap tinted = item.icon;
        {
            QPainter tint(&tinted);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            tint.fillRect(tinted.rect(), color);
        }
        painter.drawPixmap(iconRect, tinted, tinted.rect());
    }
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(r.left(), 34, r.width(), 13), Qt::AlignCenter, item.title);
}

void TabBar::mouseReleaseEvent(QMouseEvent* event) {
    for (int i = 0; i < count(); ++i) {
        if (itemRect(i).contains(event->position())) {
            emit itemTapped(i);
            return;
        }
    }
}
