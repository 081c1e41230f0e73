#include "share/sheet/socialsnssheet.h"

#include "platform/uikit/images.h"
#include "share/sheet/socialsnsplatform.h"
#include "share/sheet/socialsnsplatformmanager.h"
#include "share/transport/sharelog.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

namespace {
QPointer<SocialSnsSheet> g_current;

constexpr int kLabelHeight = 18;
constexpr int kCancelHeight = 44;
constexpr int kMargin = 10;
} // namespace

SocialSnsSheet::SocialSnsSheet(QWidget* window, const QStringList& snsNames)
    : QWidget(window), m_panel(new QWidget(this)),
      m_cancelButton(new QPushButton(QStringLiteral("取消"), m_panel)) {
    if (g_current)
        g_current->cancel();
    g_current = this;

    // Taps on the panel between its buttons must not reach the backdrop,
    // which would take them for a tap outside.
    m_panel->setAttribute(Qt::WA_NoMousePropagation);
    m_panel->setAutoFillBackground(true);
    QPalette palette = m_panel->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.95f, 0.95f, 0.95f));
    m_panel->setPalette(palette);

    for (const QString& name : snsNames) {
        const SocialSnsPlatform* platform =
            SocialSnsPlatformManager::getSocialPlatformWithName(name);
        if (!platform || m_icons.contains(name)) {
            qCWarning(lcShare) << "share sheet: leaving out" << name;
            continue;
        }
        auto* button = new QToolButton(m_panel);
        button->setObjectName(name);
        button->setText(platform->displayName());
        button->setIcon(QIcon(Images::named(platform->iconName())));
        button->setIconSize(QSize(kIconSide, kIconSide));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setStyleSheet(
            QStringLiteral("QToolButton { border: none; color: #333; font-size: 12px; }"));
        connect(button, &QToolButton::clicked, this, [this, name] { pick(name); });
        m_icons.insert(name, button);
        m_names << name;
    }

    m_cancelButton->setObjectName(QStringLiteral("cancel"));
    m_cancelButton->setStyleSheet(QStringLiteral(
        "QPushButton { background: white; color: #333; font-size: 17px; border: 1px solid #ddd;"
        " border-radius: 5px; } QPushButton:pressed { background: #e5e5e5; }"));
    connect(m_cancelButton, &QPushButton::clicked, this, &SocialSnsSheet::cancel);

    setFocusPolicy(Qt::StrongFocus);
    if (window) {
        window->installEventFilter(this);
        setGeometry(window->rect());
    }
    layoutPanel();
    raise();
    show();
    setFocus();
}

SocialSnsSheet* SocialSnsSheet::current() {
    return g_current;
}

QAbstractButton* SocialSnsSheet::iconButton(const QString& platformName) const {
    return m_icons.value(platformName);
}

bool SocialSnsSheet::pick(const QString& platformName) {
    if (m_closed || !m_names.contains(platformName))
        return false;
    dismiss();
    emit platformPicked(platformName);
    return true;
}

void SocialSnsSheet::cancel() {
    if (m_closed)
        return;
    dismiss();
    emit cancelled();
}

void SocialSnsSheet::dismiss() {
    m_closed = true;
    if (g_current == this)
        g_current = nullptr;
    hide();
    deleteLater();
}

void SocialSnsSheet::layoutPanel() {
    const int w = width();
    m_panel->setGeometry(0, height() - kPanelHeight, w, kPanelHeight);
    const int count = int(m_names.size());
    const int cell = count > 0 ? w / count : w;
    const int iconTop = 20;
    for (int i = 0; i < count; ++i)
        m_icons[m_names[i]]->setGeometry(i * cell + (cell - 80) / 2, iconTop, 80,
                                         kIconSide + 6 + kLabelHeight);
    m_cancelButton->setGeometry(kMargin, kPanelHeight - 12 - kCancelHeight, w - 2 * kMargin,
                                kCancelHeight);
}

void SocialSnsSheet::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 102));
}

void SocialSnsSheet::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton &&
        !m_panel->geometry().contains(event->position().toPoint()))
        cancel();
}

void SocialSnsSheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        cancel();
    else
        QWidget::keyPressEvent(event);
}

bool SocialSnsSheet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        layoutPanel();
    }
    return QWidget::eventFilter(watched, event);
}
