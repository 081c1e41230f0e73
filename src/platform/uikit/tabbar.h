#pragma once

#include <QColor>
#include <QPixmap>
#include <QVector>
#include <QWidget>

// The 49-point bar of tab items at the bottom of the window. It lies over the
// screens' bottom edge, so screens may slide it away and back by moving it.
class TabBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 49;

    explicit TabBar(QWidget* parent = nullptr);

    void addItem(const QString& title, const QPixmap& icon);
    int count() const { return int(m_items.size()); }
    QString itemTitle(int index) const;

    int selectedIndex() const { return m_selected; }
    void setSelectedIndex(int index);

    void setBackgroundImage(const QPixmap& image);
    QPixmap backgroundImage() const { return m_backgroundImage; }
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setTranslucent(bool translucent);
    bool isTranslucent() const { return m_translucent; }
    void setBarStyle(int style) { m_barStyle = style; }
    int barStyle() const { return m_barStyle; }
    void setTintColor(const QColor& color);
    QColor tintColor() const { return m_tintColor; }
    void setAlpha(double alpha);
    double alpha() const { return m_alpha; }

signals:
    void itemTapped(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Item {
        QString title;
        QPixmap icon;
    };

    QRectF itemRect(int index) const;
    void paintItem(QPainter& painter, int index) const;

    QVector<Item> m_items;
    int m_selected = -1;
    QPixmap m_backgroundImage;
    QColor m_backgroundColor = Qt::white;
    QColor m_tintColor = QColor(0x1a, 0x8f, 0xe3);
    bool m_translucent = false;
    int m_barStyle = 0;
    double m_alpha = 1.0;
};
