#pragma once

#include "platform/uikit/imageview.h"

#include <QPointer>

#include <QVariantAnimation>

// The pinwheel: an image view that turns about its centre in animated steps
// of 117 degrees. The first step speeds up from rest, the following ones turn
// evenly while the view is started, and after a stop the step in progress
// completes and one last step slows it down. The angle is never reset, so
// every run continues from where the previous one came to rest.
//
// Only one chain of steps runs at a time: a step that is replaced by a new
// one ends as not finished and starts nothing.
class QMXRotateView : public ImageView {
    Q_OBJECT
public:
    // Animation curve options, in the bits 16 and 17 of the option word.
    static constexpr quint32 kCurveEaseInOut = 0u << 16;
    static constexpr quint32 kCurveEaseIn = 1u << 16;
    static constexpr quint32 kCurveEaseOut = 2u << 16;
    static constexpr quint32 kCurveLinear = 3u << 16;
    static constexpr quint32 kCurveMask = 3u << 16;

    // 0.65 pi in single precision, and 0.1 s in single precision: the
    // values the pinwheel has always turned by.
    static constexpr double kStepAngle = double(2.0420353f);
    static constexpr double kStepDuration = double(0.1f);

    explicit QMXRotateView(QWidget* parent = nullptr);
    explicit QMXRotateView(const QRect& frame, QWidget* parent = nullptr);

    bool isStart() const { return m_isStart; }
    qint32 speed() const { return m_speed; }
    double duration() const { return m_duration; }

    // Stores the speed; no step reads it, every step lasts kStepDuration.
    void setRotateSpeed(int speed);
    void start();
    void stop();
    void switchSpeed();
    void spinWithOptions(quint32 options);

    // The angle shown now, in radians, counted from creation without wrapping.
    double angle() const { return m_angle; }
    // The angle the view is turned to once the step in progress ends.
    double transformAngle() const { return m_transformAngle; }
    // The step in progress, null at rest. Exposed so that tests and
    // benchmarks can drive a step to any point of its time line.
    QVariantAnimation* currentStep() const { return m_step; }

    static QEasingCurve curveForOptions(quint32 options);

signals:
    void stepStarted(quint32 options);
    // Every step ends exactly once: finished, or replaced (not finished).
    void stepEnded(quint32 options, bool finished);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void stepFinished(QVariantAnimation* step, quint32 options);
    void setShownAngle(double angle);
    const QPixmap& scaledImage(const QSizeF& size);

    bool m_isStart = false;
    qint32 m_speed = 1;
    double m_duration = kStepDuration;

    double m_angle = 0.0;
    double m_transformAngle = 0.0;
    QPointer<QVariantAnimation> m_step;
    quint32 m_stepOptions = 0;

    // The image resampled once to the device size it is drawn at, so that
    // each frame only rotates it.
    QPixmap m_scaled;
    qint64 m_scaledSource = 0;
};
