#pragma once

#include <QMargins>
#include <QSize>
#include <QSizeF>

class QScreen;

// How many device pixels a point takes in this process's windows, as a
// phone emulator sets it: the phone's own scale when the screen has room,
// less when it has not, whatever scale the desktop itself uses.
//
// Qt lays out every window in the desktop's logical pixels; the windows
// here are laid out in points, so the desktop's scale (HiDPI, the
// player's QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS) is kept as it is and
// multiplied by one factor of ours, for the screen the window is on. Only a
// window created after a change draws at the new scale.
class WindowScale {
public:
    // The largest scale, at most `phoneScale`, at which `points` plus the
    // window frame fit into the available area. Sizes are device pixels.
    static double fitting(QSizeF points, double phoneScale, QSize availablePixels,
                          QMargins framePixels);

    // Device pixels per point of a window on `screen` now.
    static double current(const QScreen* screen);
    // Device pixels per logical pixel the desktop itself gives `screen`,
    // before any factor of ours.
    static double desktop(const QScreen* screen);
    // Makes windows created on `screen` from now on draw `scale` device
    // pixels a point. Existing windows must be created again to follow.
    static void apply(QScreen* screen, double scale);

    // The smallest scale a player can zoom to: a phone of 320 x 568 points
    // stays 160 x 284 pixels, still readable.
    static constexpr double kMinimum = 0.5;
};
