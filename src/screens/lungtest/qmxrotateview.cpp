#include "screens/lungtest/qmxrotateview.h"

#include "platform/uikit/viewanimation.h"

#include <QPainter>
#include <QVariantAnimation>
#include <cmath>
#include <numbers>

namespace {
const QString kImageName = QStringLiteral("blew_Img_normal");
} // namespace

QMXRotateView::QMXRotateView(QWidget* parent) : ImageView(parent) {
    setImageNamed(kImageName);
    setContentMode(ContentMode::AspectFit);
}

QMXRotateView::QMXRotateView(const QRect& frame, QWidget* parent) : QMXRotateView(parent) {
    setGeometry(frame);
}

QEasingCurve QMXRotateView::curveForOptions(quint32 options) {
    switch (options & kCurveMask) {
    case kCurveEaseIn:
        return ViewAnimation::easeInCurve();
    case kCurveEaseOut:
        return ViewAnimation::easeOutCurve();
    case kCurveLinear:
        return QEasingCurve(QEasingCurve::Linear);
    default:
        return ViewAnimation::defaultCurve();
    }
}

void QMXRotateView::setRotateSpeed(int speed) {
    m_speed = speed;
    switchSpeed();
}

void QMXRotateView::switchSpeed() {
    m_duration = kStepDuration;
}

void QMXRotateView::start() {
    if (m_isStart)
        return;
    m_isStart = true;
    spinWithOptions(kCurveEaseIn);
}

void QMXRotateView::stop() {
    m_isStart = false;
    setImageNamed(kImageName);
    m_speed = 1;
    m_duration = kStepDuration;
    setAlpha(1.0);
}

void QMXRotateView::spinWithOptions(quint32 options) {
    if (QVariantAnimation* replaced = m_step) {
        // Only the step that reaches its end may continue the chain.
        m_step = nullptr;
        replaced->disconnect(this);
        replaced->stop();
        replaced->deleteLater();
        emit stepEnded(m_stepOptions, false);
    }

    // The new step turns on from where the view is seen now to one step past
    // where the previous step was heading, so a replacement never jumps.
    m_transformAngle += kStepAngle;
    auto* step = new QVariantAnimation(this);
    step->setStartValue(m_angle);
    step->setEndValue(m_transformAngle);
    step->setDuration(int(std::lround(m_duration * 1000.0)));
    step->setEasingCurve(curveForOptions(options));
    connect(step, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setShownAngle(value.toDouble()); });
    connect(step, &QAbstractAnimation::finished, this,
            [this, step, options] { stepFinished(step, options); });
    m_step = step;
    m_stepOptions = options;
    emit stepStarted(options);
    step->start();
}

void QMXRotateView::stepFinished(QVariantAnimation* step, quint32 options) {
    m_step = nullptr;
    step->deleteLater();
    setShownAngle(m_transformAngle);
    emit stepEnded(options, true);
    if (m_isStart)
        spinWithOptions(kCurveLinear);
    else if ((options & kCurveMask) != kCurveEaseOut)
        spinWithOptions(kCurveEaseOut);
}

void QMXRotateView::setShownAngle(double angle) {
    if (angle == m_angle)
        return;
    m_angle = angle;
    update();
}

const QPixmap& QMXRotateView::scaledImage(const QSizeF& size) {
    const QPixmap source = image();
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (size * ratio).toSize();
    if (m_scaledSource != source.cacheKey() || m_scaled.size() != pixels ||
        m_scaled.devicePixelRatio() != ratio) {
        m_scaled = pixels.isEmpty() || source.isNull()
                       ? QPixmap()
                       : source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaled.setDevicePixelRatio(ratio);
        m_scaledSource = source.cacheKey();
    }
    return m_scaled;
}

void QMXRotateView::paintEvent(QPaintEvent*) {
    if (alpha() <= 0)
        return;
    QPainter painter(this);
    painter.setOpacity(alpha());
    painter.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);

    // Turned like a view transform: about the centre, clockwise for a
    // growing angle.
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.rotate(std::remainder(m_angle, 2 * std::numbers::pi) * 180.0 / std::numbers::pi);
    painter.translate(-centre);

    if (backgroundColor().alpha() > 0)
        painter.fillRect(rect(), backgroundColor());
    const QRectF target = imageRect();
    const QPixmap& pixmap = scaledImage(target.size());
    if (!pixmap.isNull())
        painter.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
}
