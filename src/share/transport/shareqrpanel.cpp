#include "share/transport/shareqrpanel.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

namespace {
QPointer<ShareQrPanel> g_current;

constexpr int kCardWidth = 240;
constexpr int kCodeSide = 180;
constexpr int kTextWidth = kCardWidth - 20;
// Room for two lines of the note, so that a short note leaves the card as it
// always was.
constexpr int kMinNoteHeight = 36;
} // namespace

ShareQrPanel::ShareQrPanel(QWidget* window, const QString& heading, const QImage& qrImage,
                           const QString& note)
    : QWidget(window), m_qrImage(qrImage), m_card(new QWidget(this)),
      m_heading(new QLabel(heading, m_card)), m_code(new QLabel(m_card)),
      m_note(new QLabel(note, m_card)),
      m_closeButton(new QPushButton(QStringLiteral("关闭"), m_card)) {
    if (g_current)
        g_current->close();
    g_current = this;

    m_card->setAutoFillBackground(true);
    QPalette palette = m_card->palette();
    palette.setColor(QPalette::Window, Qt::white);
    m_card->setPalette(palette);

    QFont headingFont = m_heading->font();
    headingFont.setPixelSize(16);
    headingFont.setBold(true);
    m_heading->setFont(headingFont);
    m_heading->setAlignment(Qt::AlignCenter);

    // The code is drawn with hard edges: a smoothed code scans badly.
    QPixmap code = QPixmap::fromImage(
        qrImage.scaled(kCodeSide * 2, kCodeSide * 2, Qt::KeepAspectRatio, Qt::FastTransformation));
    code.setDevicePixelRatio(2);
    m_code->setPixmap(code);
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setVisible(!qrImage.isNull());

    QFont noteFont = m_note->font();
    noteFont.setPixelSize(13);
    m_note->setFont(noteFont);
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setWordWrap(true);

    m_card->setObjectName(QStringLiteral("card"));
    m_code->setObjectName(QStringLiteral("code"));
    m_note->setObjectName(QStringLiteral("note"));

    connect(m_closeButton, &QPushButton::clicked, this, &ShareQrPanel::close);

    if (window) {
        window->installEventFilter(this);
        setGeometry(window->rect());
    }
    layoutCard();
    raise();
    show();
}

ShareQrPanel* ShareQrPanel::current() {
    return g_current;
}

QString ShareQrPanel::heading() const {
    return m_heading->text();
}

QString ShareQrPanel::note() const {
    return m_note->text();
}

void ShareQrPanel::close() {
    if (g_current == this)
        g_current = nullptr;
    hide();
    deleteLater();
}

int ShareQrPanel::noteHeight() const {
    return std::max(kMinNoteHeight, m_note->heightForWidth(kTextWidth));
}

void ShareQrPanel::layoutCard() {
    const int codeHeight = m_qrImage.isNull() ? 0 : kCodeSide + 8;
    const int height = 16 + 24 + 8 + codeHeight + noteHeight() + 8 + 36 + 12;
    m_card->setGeometry((width() - kCardWidth) / 2, (this->height() - height) / 2, kCardWidth,
                        height);
    int y = 16;
    m_heading->setGeometry(10, y, kTextWidth, 24);
    y += 24 + 8;
    m_code->setGeometry((kCardWidth - kCodeSide) / 2, y, kCodeSide, kCodeSide);
    y += codeHeight;
    m_note->setGeometry(10, y, kTextWidth, noteHeight());
    y += noteHeight() + 8;
    m_closeButton->setGeometry(20, y, kCardWidth - 40, 36);
}

void ShareQrPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 102));
}

void ShareQrPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        close();
}

bool ShareQrPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        layoutCard();
    }
    return QWidget::eventFilter(watched, event);
}
