#include "ui/toastgeometry.h"

#include "ui/toastsettings.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

QSizeF ToastGeometry::clampTextSize(QSizeF measured) {
    return {std::min(measured.width(), kMaxTextWidth), std::min(measured.height(), kMaxTextHeight)};
}

ToastGeometry::Layout ToastGeometry::layout(QSizeF textSize, QSizeF iconSize, int imageLocation) {
    const double tw = textSize.width();
    const double th = textSize.height();
    const double iw = iconSize.width();
    const double ih = iconSize.height();
    const bool hasIcon = !iconSize.isEmpty();

    Layout result;
    result.label = QRectF(0, 0, tw + 5, th + 5);
    QPointF labelCenter;
    if (!hasIcon) {
        result.box = QRectF(0, 0, tw + 10, th + 10);
        labelCenter = result.box.center();
    } else if (imageLocation == ToastSettings::kImageLocationTop) {
        result.box = QRectF(0, 0, std::max(tw, iw) + 10, ih + th + 15);
        labelCenter = {result.box.width() / 2, ih + 10 + (result.box.height() - ih - 10) / 2};
        result.icon = QRectF((result.box.width() - iw) / 2, 5, iw, ih);
    } else if (imageLocation == ToastSettings::kImageLocationLeft) {
        result.box = QRectF(0, 0, iw + tw + 15, std::max(th, ih) + 10);
        labelCenter = {iw + 10 + (result.box.width() - iw - 10) / 2, result.box.height() / 2};
        result.icon = QRectF(5, (result.box.height() - ih) / 2, iw, ih);
        result.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    } else {
        result.box = QRectF();
        labelCenter = {0, 0};
    }
    result.label.moveCenter(labelCenter);
    result.label.moveTopLeft({std::ceil(result.label.x()), std::ceil(result.label.y())});
    return result;
}

QPointF ToastGeometry::center(int orientation, int gravity, QSizeF windowSize, QPointF postition,
                              int offsetLeft, int offsetTop) {
    const double ww = windowSize.width();
    const double wh = windowSize.height();
    const QPointF middle(ww / 2, wh / 2);
    const QPointF offset(offsetLeft, offsetTop);
    const QPointF swappedOffset(offsetTop, offsetLeft);
    auto pick = [&](QPointF top, QPointF bottom) {
        switch (gravity) {
        case ToastSettings::kGravityTop:
            return top;
        case ToastSettings::kGravityBottom:
            return bottom;
        case ToastSettings::kGravityCenter:
            return middle;
        default:
            return postition;
        }
    };
    const double e = kEdgeDistance;
    switch (orientation) {
    case kPortrait:
        return pick({ww / 2, e}, {ww / 2, wh - e}) + offset;
    case kPortraitUpsideDown:
        return pick({ww / 2, wh - e}, {ww / 2, e}) - offset;
    case kLandscapeRight:
        return pick({ww - e, wh / 2}, {e, wh / 2}) - swappedOffset;
    case kLandscapeLeft:
        return pick({e, wh / 2}, {ww - e, wh / 2}) + swappedOffset;
    default:
        return {0, 0};
    }
}

double ToastGeometry::rotation(int orientation) {
    switch (orientation) {
    case kPortraitUpsideDown:
        return M_PI;
    case kLandscapeRight:
        return M_PI / 2;
    case kLandscapeLeft:
        return -M_PI / 2;
    default:
        return 0;
    }
}

QRect ToastGeometry::frameAround(QPointF center, QSizeF size) {
    QRectF frame(QPointF(), size);
    frame.moveCenter(center);
    const int left = int(std::floor(frame.left()));
    const int top = int(std::floor(frame.top()));
    const int right = int(std::ceil(frame.right()));
    const int bottom = int(std::ceil(frame.bottom()));
    return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}
