#pragma once

#include <QSizeF>
#include <QWidget>
#include <optional>

class QKeyEvent;

// The window that stands for the phone's screen: laid out in points, shown
// at the largest size that fits the available area of its screen (never
// more than the phone's own pixels), with the phone's shape.
//
// A player changes its size in zoom steps (Ctrl+plus, Ctrl+minus, Ctrl+0 for
// the fitted size) rather than by dragging its edge: Qt Widgets cannot
// change the pixel ratio of a window on show, so each step creates the
// window anew at the new ratio, which a live drag would do at every move.
// The last size is remembered for the next start.
class PhoneWindow : public QWidget {
    Q_OBJECT
public:
    // `points` is the phone's screen, `phoneScale` its pixels per point.
    PhoneWindow(QSizeF points, double phoneScale);

    // Before the first show: takes the remembered size, or the fitted one.
    void fitToScreen();
    // One zoom step larger (+1) or smaller (-1), or back to the fitted size.
    void zoom(int steps);
    void resetZoom();

    // Device pixels a point now takes in this window.
    double scale() const;
    // The largest scale the screen has room for, frame included.
    double fittedScale() const;

    static constexpr double kZoomStep = 1.25;
    // Where the last size is kept between runs.
    static constexpr const char* kScaleKey = "PhoneWindowScale";

    // The zoom step a key asks for: +1, -1, or 0 for the fitted size.
    static std::optional<int> zoomKey(const QKeyEvent& key);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setScale(double scale);
    void keepInsideScreen();
    QMargins framePixels() const;

    const QSizeF m_points;
    const double m_phoneScale;
    bool m_checkedFrame = false;
};
