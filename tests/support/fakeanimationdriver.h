#pragma once

#include <QAnimationDriver>
#include <QVariantAnimation>

// Property animations in virtual time: while this driver is installed, every
// animation of the GUI thread moves only when the test advances the time,
// frame by frame as the display would, so a fade can be read at any point of
// its time line without waiting for it.
class FakeAnimationDriver : public QAnimationDriver {
public:
    FakeAnimationDriver();
    ~FakeAnimationDriver() override;

    // Milliseconds since the animation system started this driver.
    qint64 elapsed() const override;
    // Moves the time on by whole milliseconds, in frames of at most
    // `frameMs`. Animations started since the last frame (by the test, or by
    // the completion of another) start at the time they were started.
    void advanceBy(double seconds, int frameMs = 16);
    double now() const { return double(m_now) / 1000.0; }

protected:
    void start() override;

private:
    void startPendingAnimations();

    qint64 m_now = 0;
    qint64 m_startedAt = 0;
    // Keeps the animation system running, so that it never falls back to
    // the real clock between two animations.
    QVariantAnimation m_keeper;
};
