#include "platform/uikit/windowscale.h"

#include <QHash>
#include <QScreen>
#include <algorithm>
// Qt has no public way to scale one application's windows by a factor of
// its own on top of the desktop's; the high-DPI scaling itself does it.
#include <QtGui/private/qhighdpiscaling_p.h>

double WindowScale::fitting(QSizeF points, double phoneScale, QSize availablePixels,
                            QMargins framePixels) {
    if (points.isEmpty() || phoneScale <= 0)
        return phoneScale;
    const double width = availablePixels.width() - framePixels.left() - framePixels.right();
    const double height = availablePixels.height() - framePixels.top() - framePixels.bottom();
    const double fit = std::min(width / points.width(), height / points.height());
    return std::clamp(fit, kMinimum, phoneScale);
}

namespace {
// Per screen name: the desktop's own ratio, as it was before our first
// factor. Screens are used on the GUI thread only.
QHash<QString, double>& desktopRatios() {
    static QHash<QString, double> ratios;
    return ratios;
}
} // namespace

double WindowScale::current(const QScreen* screen) {
    return screen ? screen->devicePixelRatio() : 1.0;
}

double WindowScale::desktop(const QScreen* screen) {
    return screen ? desktopRatios().value(screen->name(), current(screen)) : 1.0;
}

void WindowScale::apply(QScreen* screen, double scale) {
    if (!screen || scale <= 0)
        return;
    if (!desktopRatios().contains(screen->name()))
        desktopRatios().insert(screen->name(), current(screen));
    // The screen's own factor, without the global QT_SCALE_FACTOR that
    // multiplies it, is what the desktop gave it (and what an earlier call
    // of ours made of it): scale it by what is still missing.
    bool ok = false;
    double global = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    if (!ok || global <= 0)
        global = 1.0;
    const double screenFactor = QHighDpiScaling::factor(screen) / global;
    QHighDpiScaling::setScreenFactor(screen, screenFactor * scale / current(screen));
}
