#include "share/blewcommonutil.h"

#include "platform/system/folders.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/photoalbum.h"
#include "share/transport/sharelog.h"

#include <QBuffer>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QWidget>
#include <cmath>

QImage BlewCommonUtil::shareImageOf(const QImage& window, QSizeF size, double scale) {
    if (size.isEmpty() || scale <= 0)
        return {};
    // The context the window is rendered into: opaque, W x H points at the
    // screen's scale; what the window does not cover stays black.
    const QSize pixels(int(std::ceil(size.width() * scale)), int(std::ceil(size.height() * scale)));
    QImage context(pixels, QImage::Format_RGB32);
    context.fill(Qt::black);
    {
        QPainter painter(&context);
        QImage source = window;
        source.setDevicePixelRatio(1);
        painter.drawImage(0, 0, source);
    }
    // Twice the point size whatever the scale, cut to the bitmap: the whole
    // image at scale 2 (and 1), the top-left part at scale 3.
    const QRect crop =
        QRect(0, 0, int(std::ceil(2 * size.width())), int(std::ceil(2 * size.height())))
            .intersected(context.rect());
    return context.copy(crop);
}

QByteArray BlewCommonUtil::getScreenShotDataWith(QSizeF size) const {
    QWidget* window = KeyWindow::keyWindow();
    if (!window) {
        qCWarning(lcShare) << "screenshot: no key window";
        return {};
    }
    // At the phone's scale, not the window's: a shared picture is the same
    // whatever size the window has on this desktop.
    const double scale = MainScreen::scale();
    QPixmap rendered(window->size() * scale);
    rendered.setDevicePixelRatio(scale);
    window->render(&rendered);
    const QImage shot = shareImageOf(rendered.toImage(), size, scale);
    if (shot.isNull())
        return {};
    PhotoAlbum::saveImage(shot);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    shot.save(&buffer, "PNG");
    return png;
}

QImage BlewCommonUtil::getScreenShotImgWith(QSizeF size) const {
    writeScreenShow(getScreenShotDataWith(size));
    return readScreenShow();
}

QString BlewCommonUtil::screenShowPath() {
    return Folders::documents() + QStringLiteral("/screenShow.png");
}

bool BlewCommonUtil::writeScreenShow(const QByteArray& png) {
    if (png.isEmpty())
        return false;
    QSaveFile file(screenShowPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size()) {
        qCWarning(lcShare) << "screenshot: cannot write" << screenShowPath();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qCWarning(lcShare) << "screenshot: cannot write" << screenShowPath();
        return false;
    }
    return true;
}

QImage BlewCommonUtil::readScreenShow() {
    return QImage(screenShowPath());
}
