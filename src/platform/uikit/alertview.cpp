#include "platform/uikit/alertview.h"

#include "platform/system/delegatecall.h"
#include "platform/uikit/keywindow.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {
QPointer<AlertView> g_current;
constexpr int kPanelWidth = 270;
constexpr int kButtonHeight = 44;
} // namespace

AlertView::AlertView(const QString& title, const QString& message, QObject* delegate,
                     const QString& cancelButtonTitle, const QStringList& otherButtonTitles)
    : QWidget(KeyWindow::keyWindow()), m_title(title), m_message(message), m_delegate(delegate) {
    if (!cancelButtonTitle.isNull())
        m_buttons << cancelButtonTitle;
    m_buttons << otherButtonTitles;
    setAttribute(Qt::WA_DeleteOnClose);
    hide();
}

AlertView::~AlertView() = default;

AlertView* AlertView::current() {
    return g_current;
}

void AlertView::show() {
    if (g_current && g_current != this)
        g_current->close();
    g_current = this;
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    buildButtons();
    QWidget::show();
    raise();
}

QRect AlertView::panelRect() const {
    const int textHeight = m_message.isEmpty() ? 56 : 86;
    const int height = textHeight + kButtonHeight;
    return {(width() - kPanelWidth) / 2, (this->height() - height) / 2, kPanelWidth, height};
}

void AlertView::buildButtons() {
    const QRect panel = panelRect();
    const int count = std::max<int>(1, int(m_buttons.size()));
    const int w = kPanelWidth / count;
    for (int i = 0; i < m_buttons.size(); ++i) {
        auto* button = new QPushButton(m_buttons[i], this);
        button->setGeometry(panel.left() + i * w, panel.bottom() + 1 - kButtonHeight, w,
                            kButtonHeight);
        button->setFlat(true);
        button->setStyleSheet(
            QStringLiteral("QPushButton { color: #007aff; font-size: 17px; border: none; %1 }"
                           "QPushButton:pressed { background: rgba(0,0,0,20); }")
                .arg(i == 0 && m_buttons.size() > 1 ? QString()
                                                    : QStringLiteral("font-weight: 600;")));
        connect(button, &QPushButton::clicked, this, [this, i] { clickButtonAtIndex(i); });
        button->show();
    }
}

void AlertView::clickButtonAtIndex(int index) {
    QPointer<AlertView> self(this);
    if (DelegateCall::responds(m_delegate, kDelegateSignature))
        QMetaObject::invokeMethod(m_delegate, "alertView", Q_ARG(AlertView*, this),
                                  Q_ARG(int, index));
    if (self)
        close();
}

void AlertView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(0, 0, 0, 90));
    const QRect panel = panelRect();
    QPainterPath path;
    path.addRoundedRect(panel, 12, 12);
    p.fillPath(path, QColor(248, 248, 248, 245));
    p.setPen(QColor(0, 0, 0));
    QFont font = p.font();
    font.setPixelSize(17);
    font.setBold(true);
    p.setFont(font);
    const int titleBottom = m_message.isEmpty() ? 56 : 44;
    p.drawText(QRect(panel.left() + 16, panel.top() + 14, panel.width() - 32, titleBottom - 14),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_title);
    if (!m_message.isEmpty()) {
        font.setBold(false);
        font.setPixelSize(13);
        p.setFont(font);
        p.drawText(QRect(panel.left() + 16, panel.top() + titleBottom, panel.width() - 32, 36),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_message);
    }
    p.setPen(QColor(0, 0, 0, 50));
    const int lineY = panel.bottom() + 1 - kButtonHeight;
    p.drawLine(panel.left(), lineY, panel.right(), lineY);
    const int count = int(m_buttons.size());
    for (int i = 1; i < count; ++i) {
        const int x = panel.left() + i * (kPanelWidth / count);
        p.drawLine(x, lineY, x, panel.bottom());
    }
}
