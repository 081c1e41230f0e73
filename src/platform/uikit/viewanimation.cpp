#include "platform/uikit/viewanimation.h"

#include <QPropertyAnimation>

namespace {

// A property animation that carries its completion, so that whoever ends it
// (its own end, a replacement, a cancel) reports it exactly once.
class CompletingAnimation : public QPropertyAnimation {
public:
    CompletingAnimation(QObject* target, const QByteArray& property,
                        ViewAnimation::Completion completion)
        : QPropertyAnimation(target, property, target), m_completion(std::move(completion)) {}

    void complete(bool finished) {
        ViewAnimation::Completion completion = std::move(m_completion);
        m_completion = nullptr;
        deleteLater();
        if (completion)
            completion(finished);
    }

private:
    ViewAnimation::Completion m_completion;
};

QByteArray slotName(const QByteArray& property) {
    return "_vantoro_animation_" + property;
}

CompletingAnimation* running(QObject* target, const QByteArray& property) {
    return static_cast<CompletingAnimation*>(
        target->property(slotName(property).constData()).value<QObject*>());
}

} // namespace

QEasingCurve ViewAnimation::cubicBezier(QPointF c1, QPointF c2) {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(c1, c2, QPointF(1, 1));
    return curve;
}

void ViewAnimation::animate(QObject* target, const QByteArray& property, const QVariant& to,
                            double seconds, const QEasingCurve& curve, Completion completion) {
    cancel(target, property);
    auto* animation = new CompletingAnimation(target, property, std::move(completion));
    animation->setDuration(int(seconds * 1000.0 + 0.5));
    animation->setEndValue(to);
    animation->setEasingCurve(curve);
    target->setProperty(slotName(property).constData(), QVariant::fromValue<QObject*>(animation));
    QObject::connect(animation, &QAbstractAnimation::finished, animation,
                     [animation, target, property] {
                         target->setProperty(slotName(property).constData(), QVariant());
                         animation->complete(true);
                     });
    animation->start();
}

void ViewAnimation::cancel(QObject* target, const QByteArray& property) {
    CompletingAnimation* animation = running(target, property);
    if (!animation)
        return;
    target->setProperty(slotName(property).constData(), QVariant());
    QObject::disconnect(animation, &QAbstractAnimation::finished, nullptr, nullptr);
    animation->stop();
    animation->complete(false);
}

bool ViewAnimation::isAnimating(QObject* target, const QByteArray& property) {
    return running(target, property) != nullptr;
}
