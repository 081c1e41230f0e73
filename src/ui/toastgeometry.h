#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <Qt>

// Where a toast's box, label and icon go, as pure arithmetic in points, so
// that every placement rule can be checked without a window. The desktop is
// always upright; the other orientations are kept for platforms that turn.
class ToastGeometry {
public:
    // Status bar orientations, as the phone numbers them.
    static constexpr int kPortrait = 1;
    static constexpr int kPortraitUpsideDown = 2;
    static constexpr int kLandscapeRight = 3; // home button on the right
    static constexpr int kLandscapeLeft = 4;  // home button on the left

    // The largest text a toast shows; longer text is cut to this.
    static constexpr double kMaxTextWidth = 280;
    static constexpr double kMaxTextHeight = 60;
    // Distance of the box's centre from the window edge for top and bottom.
    static constexpr double kEdgeDistance = 45;

    struct Layout {
        QRectF box;   // origin (0, 0)
        QRectF label; // in the box, origin on whole points
        QRectF icon;  // in the box; empty without icon
        Qt::Alignment textAlignment = Qt::AlignCenter;
    };

    // A text size beyond the limit is clamped to it.
    static QSizeF clampTextSize(QSizeF measured);
    // Without icon pass an empty icon size.
    static Layout layout(QSizeF textSize, QSizeF iconSize, int imageLocation);
    static QPointF center(int orientation, int gravity, QSizeF windowSize, QPointF postition,
                          int offsetLeft, int offsetTop);
    // Rotation of the box in radians for the orientation.
    static double rotation(int orientation);
    // The smallest whole-point rectangle that holds a box of this size
    // centred on the point.
    static QRect frameAround(QPointF center, QSizeF size);
};
