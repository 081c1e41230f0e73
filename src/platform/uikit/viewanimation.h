#pragma once

#include <QByteArray>
#include <QEasingCurve>
#include <QObject>
#include <QPointF>
#include <QVariant>
#include <functional>

// Animates one property of an object to a value, like a phone's view
// animation: a new animation of the same property replaces the running one,
// which then completes as not finished. The completion runs on the GUI
// thread when the animation ends, with whether it ran to its end.
class ViewAnimation {
public:
    using Completion = std::function<void(bool finished)>;

    // The platform's timing curves are cubic Béziers from (0, 0) to (1, 1),
    // given by their two control points.
    static QEasingCurve cubicBezier(QPointF c1, QPointF c2);
    // Ease-in-out, the platform's default curve.
    static QEasingCurve defaultCurve() { return cubicBezier({0.42, 0.0}, {0.58, 1.0}); }
    static QEasingCurve easeInCurve() { return cubicBezier({0.42, 0.0}, {1.0, 1.0}); }
    static QEasingCurve easeOutCurve() { return cubicBezier({0.0, 0.0}, {0.58, 1.0}); }

    static void animate(QObject* target, const QByteArray& property, const QVariant& to,
                        double seconds, const QEasingCurve& curve = defaultCurve(),
                        Completion completion = {});
    // Ends a running animation of the property where it is, as not finished.
    static void cancel(QObject* target, const QByteArray& property);
    static bool isAnimating(QObject* target, const QByteArray& property);
};
