#include "ui/toast.h"

#include "platform/system/maintimer.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/viewanimation.h"
#include "ui/toastgeometry.h"

#include <QApplication>
#include <QFontMetricsF>

std::shared_ptr<Toast> Toast::makeText(const QString& text) {
    return std::shared_ptr<Toast>(new Toast(text));
}

ToastSettings& Toast::theSettings() {
    if (!m_settings)
        m_settings = std::make_unique<ToastSettings>(ToastSettings::getSharedSettings());
    return *m_settings;
}

Toast* Toast::setDuration(int duration) {
    theSettings().setDuration(duration);
    return this;
}

Toast* Toast::setGravity(int gravity) {
    theSettings().setGravity(gravity);
    return this;
}

Toast* Toast::setGravity(int gravity, int offsetLeft, int offsetTop) {
    ToastSettings& settings = theSettings();
    settings.setGravity(gravity);
    settings.setOffsetLeft(offsetLeft);
    settings.setOffsetTop(offsetTop);
    return this;
}

Toast* Toast::setPostion(QPointF position) {
    theSettings().setPostition(position);
    return this;
}

Toast* Toast::setFontSize(float fontSize) {
    theSettings().setFontSize(fontSize);
    return this;
}

Toast* Toast::setUseShadow(bool useShadow) {
    theSettings().setUseShadow(useShadow);
    return this;
}

Toast* Toast::setCornerRadius(float cornerRadius) {
    theSettings().setCornerRadius(cornerRadius);
    return this;
}

Toast* Toast::setBgRed(float bgRed) {
    theSettings().setBgRed(bgRed);
    return this;
}

Toast* Toast::setBgGreen(float bgGreen) {
    theSettings().setBgGreen(bgGreen);
    return this;
}

Toast* Toast::setBgBlue(float bgBlue) {
    theSettings().setBgBlue(bgBlue);
    return this;
}

Toast* Toast::setBgAlpha(float bgAlpha) {
    theSettings().setBgAlpha(bgAlpha);
    return this;
}

void Toast::show() {
    show(ToastSettings::kTypePlain);
}

void Toast::show(int type) {
    QWidget* window = KeyWindow::keyWindow();
    if (!window)
        return;
    const ToastSettings& settings = m_settings ? *m_settings : ToastSettings::getSharedSettings();
    const QPixmap icon = settings.imageForType(type);

    // Sizes are in points, and a point is a logical pixel of the window.
    QFont font = QApplication::font();
    font.setPixelSize(std::max(1, qRound(settings.fontSize())));
    const QRectF limit(0, 0, ToastGeometry::kMaxTextWidth, ToastGeometry::kMaxTextHeight);
    const QSizeF textSize = ToastGeometry::clampTextSize(
        QFontMetricsF(font).boundingRect(limit, Qt::TextWordWrap, m_text).size());
    const QSizeF iconSize = icon.isNull() ? QSizeF() : icon.deviceIndependentSize();
    const ToastGeometry::Layout layout =
        ToastGeometry::layout(textSize, iconSize, settings.imageLocation());

    if (ToastView* earlier = ToastView::findIn(window)) {
        earlier->hide();
        earlier->setParent(nullptr);
        earlier->deleteLater();
    }

    auto* box = new ToastView(window);
    box->setText(m_text);
    box->setFont(font);
    box->setLabelRect(layout.label, layout.textAlignment);
    box->setUseShadow(settings.useShadow());
    if (!icon.isNull())
        box->setIcon(icon, layout.icon);
    box->setBackgroundColor(QColor::fromRgbF(settings.bgRed(), settings.bgGreen(),
                                             settings.bgBlue(), settings.bgAlpha()));
    box->setCornerRadius(settings.cornerRadius());

    // The desktop window never turns, so only the upright rule applies here.
    const QPointF center =
        ToastGeometry::center(ToastGeometry::kPortrait, settings.gravity(), window->size(),
                              settings.postition(), settings.offsetLeft(), settings.offsetTop());
    box->setGeometry(ToastGeometry::frameAround(center, layout.box.size()));

    auto self = shared_from_this();
    MainTimer::shared().schedule(settings.duration() / 1000.0, [self] { self->hideToast(); });

    box->setAlpha(0);
    box->show();
    box->raise();
    ViewAnimation::animate(box, "alpha", 1.0, kFadeSeconds);
    m_view = box;
    QObject::connect(box, &QAbstractButton::pressed, box, [self] { self->hideToast(); });
}

void Toast::hideToast() {
    if (!m_view)
        return;
    // A fading box no longer takes the touches meant for what lies under it.
    m_view->setAttribute(Qt::WA_TransparentForMouseEvents);
    ViewAnimation::animate(m_view, "alpha", 0.0, kFadeSeconds);
    auto self = shared_from_this();
    MainTimer::shared().schedule(kRemoveDelaySeconds, [self] { self->removeToast(); });
}

void Toast::removeToast() {
    if (!m_view)
        return;
    ToastView* box = m_view;
    m_view = nullptr;
    if (!box->parentWidget())
        return;
    box->hide();
    box->setParent(nullptr);
    box->deleteLater();
}
