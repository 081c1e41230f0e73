#include "share/sheet/socialshareeditor.h"

#include "share/service/socialdataservice.h"
#include "share/sheet/socialsnsplatform.h"
#include "share/sheet/socialuidelegate.h"
#include "share/transport/sharelog.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
QPointer<SocialShareEditor> g_current;

constexpr int kBarHeight = 44;
constexpr int kThumbSide = 72;
constexpr int kMargin = 10;
} // namespace

SocialShareEditor::SocialShareEditor(QWidget* host, const SocialSnsPlatform& platform,
                                     const QString& text, const QByteArray& imagePng,
                                     QWidget* presentingController, QObject* socialUIDelegate)
    : QWidget(host), m_platformName(platform.platformName()), m_imagePng(imagePng),
      m_presenting(presentingController), m_delegate(socialUIDelegate),
      m_title(new QLabel(platform.displayName(), this)),
      m_cancelButton(new QPushButton(QStringLiteral("取消"), this)),
      m_sendButton(new QPushButton(QStringLiteral("发送"), this)),
      m_textEdit(new QPlainTextEdit(text, this)), m_thumbnail(new QLabel(this)) {
    if (g_current)
        g_current->cancel();
    g_current = this;

    QFont titleFont = m_title->font();
    titleFont.setPixelSize(17);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignCenter);

    const QString barButton = QStringLiteral(
        "QPushButton { border: none; background: transparent; color: %1; font-size: 16px; }");
    m_cancelButton->setStyleSheet(barButton.arg(QStringLiteral("#333")));
    m_sendButton->setStyleSheet(barButton.arg(QStringLiteral("#e6162d")));
    m_cancelButton->setObjectName(QStringLiteral("cancel"));
    m_sendButton->setObjectName(QStringLiteral("send"));
    connect(m_cancelButton, &QPushButton::clicked, this, &SocialShareEditor::cancel);
    connect(m_sendButton, &QPushButton::clicked, this, &SocialShareEditor::send);

    QFont textFont = m_textEdit->font();
    textFont.setPixelSize(15);
    m_textEdit->setFont(textFont);
    m_textEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    QImage image = QImage::fromData(imagePng, "PNG");
    if (!image.isNull()) {
        QPixmap thumb = QPixmap::fromImage(image.scaled(
            kThumbSide * 2, kThumbSide * 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        thumb.setDevicePixelRatio(2);
        m_thumbnail->setPixmap(thumb);
    }
    m_thumbnail->setAlignment(Qt::AlignCenter);
    m_thumbnail->setVisible(!image.isNull());

    if (host) {
        host->installEventFilter(this);
        setGeometry(host->rect());
    }
    setAutoFillBackground(true);
    layoutViews();
    raise();
    show();
    m_textEdit->setFocus();
}

SocialShareEditor* SocialShareEditor::current() {
    return g_current;
}

QString SocialShareEditor::text() const {
    return m_textEdit->toPlainText();
}

void SocialShareEditor::setText(const QString& text) {
    m_textEdit->setPlainText(text);
}

void SocialShareEditor::send() {
    if (m_closed)
        return;
    qCInfo(lcShare) << "share editor:" << m_platformName << "send";
    QPointer<QObject> delegate = m_delegate;
    const QString platform = m_platformName;
    const QString text = this->text();
    const QByteArray image = m_imagePng;
    QWidget* presenting = m_presenting;
    // Closed first, so that whatever the post shows comes up over the screen
    // and not under the editor.
    dismiss();
    SocialDataService::defaultDataService().postSNSWithTypes(
        {platform}, text, image, QVariant(), nullptr, presenting,
        [delegate](const SocialResponse& response) {
            SocialUIDelegate::didFinishGetSocialDataInViewController(delegate, response);
        });
}

void SocialShareEditor::cancel() {
    if (m_closed)
        return;
    qCInfo(lcShare) << "share editor:" << m_platformName << "cancelled";
    dismiss();
    SocialUIDelegate::didFinishGetSocialDataInViewController(
        m_delegate, SocialResponse(SocialResponse::Cancelled, m_platformName));
}

void SocialShareEditor::dismiss() {
    m_closed = true;
    if (g_current == this)
        g_current = nullptr;
    hide();
    deleteLater();
}

void SocialShareEditor::layoutViews() {
    const int w = width();
    m_cancelButton->setGeometry(0, 0, 64, kBarHeight);
    m_sendButton->setGeometry(w - 64, 0, 64, kBarHeight);
    m_title->setGeometry(64, 0, w - 128, kBarHeight);
    const int textHeight = std::max(80, height() / 3);
    m_textEdit->setGeometry(kMargin, kBarHeight + kMargin, w - 2 * kMargin, textHeight);
    m_thumbnail->setGeometry(kMargin, kBarHeight + 2 * kMargin + textHeight, kThumbSide,
                             kThumbSide);
}

void SocialShareEditor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xf2, 0xf2, 0xf2));
    painter.fillRect(QRect(0, 0, width(), kBarHeight), Qt::white);
    painter.setPen(QColor(0xdd, 0xdd, 0xdd));
    painter.drawLine(0, kBarHeight, width(), kBarHeight);
}

bool SocialShareEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        layoutViews();
    }
    return QWidget::eventFilter(watched, event);
}
