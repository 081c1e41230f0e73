#include "screens/placeholderviewcontroller.h"

#include <QLabel>

PlaceholderViewController::PlaceholderViewController(const QString& title, const QString& note,
                                                     QWidget* parent)
    : BaseViewController(parent), m_title(new QLabel(title, this)), m_note(new QLabel(note, this)) {
    setAutoFillBackground(true);
    setPalette(QPalette(QColor(0xf4, 0xf6, 0xf8)));
    QFont titleFont = font();
    titleFont.setPixelSize(22);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignCenter);
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setWordWrap(true);
    m_note->setStyleSheet(QStringLiteral("color: #6b7680;"));
}

void PlaceholderViewController::resizeEvent(QResizeEvent*) {
    const int w = width();
    m_title->setGeometry(0, height() / 2 - 60, w, 30);
    m_note->setGeometry(30, height() / 2 - 20, w - 60, 60);
}
