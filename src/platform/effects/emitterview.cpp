#include "platform/effects/emitterview.h"

#include "platform/uikit/images.h"

#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QtMath>
#include <cmath>

namespace {

constexpr int kTickMs = 16; // about the display rate

// The ancestor of widget (or widget itself) that is a direct child of parent.
QWidget* childHolding(QWidget* widget, QWidget* parent) {
    while (widget && widget->parentWidget() != parent)
        widget = widget->parentWidget();
    return widget;
}

} // namespace

EmitterView::EmitterView(quint32 seed, QWidget* parent) : QWidget(parent), m_emitter(seed) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &EmitterView::tick);
}

void EmitterView::attachTo(QWidget* host, QWidget* overlayParent) {
    if (m_host)
        m_host->removeEventFilter(this);
    if (parentWidget())
        parentWidget()->removeEventFilter(this);

    m_host = host;
    m_attached = true;
    setParent(overlayParent);
    if (!overlayParent)
        return;
    setGeometry(overlayParent->rect());
    overlayParent->installEventFilter(this);
    if (host)
        host->installEventFilter(this);

    // children() is the stacking order, bottom first: go just under whatever
    // sibling follows the host's branch, or to the top when nothing does.
    QWidget* above = nullptr;
    if (QWidget* branch = childHolding(host, overlayParent)) {
        const QObjectList& siblings = overlayParent->children();
        for (qsizetype i = siblings.indexOf(branch) + 1; i < siblings.size(); ++i) {
            auto* sibling = qobject_cast<QWidget*>(siblings[i]);
            if (sibling && sibling != this && !sibling->isWindow()) {
                above = sibling;
                break;
            }
        }
    }
    if (above)
        stackUnder(above);
    else
        raise();
    show();
}

QPointF EmitterView::hostOrigin() const {
    if (!m_host)
        return {};
    if (parentWidget() && parentWidget()->isAncestorOf(m_host))
        return QPointF(m_host->mapTo(parentWidget(), QPoint(0, 0)) - pos());
    return QPointF(mapFromGlobal(m_host->mapToGlobal(QPoint(0, 0))));
}

bool EmitterView::hostShown() const {
    if (!m_attached)
        return true;
    return m_host && (!parentWidget() || m_host->isVisibleTo(parentWidget()));
}

QPixmap EmitterView::tintedPicture(const ParticleEmitter::Cell& cell) {
    const ParticleEmitter::Color& c = cell.color;
    // The cache keeps the file from being read again each time an emitter
    // with the same picture is built.
    const QString key = QStringLiteral("emitter:%1:%2,%3,%4")
                            .arg(cell.contents)
                            .arg(double(c.red))
                            .arg(double(c.green))
                            .arg(double(c.blue));
    QPixmap tinted;
    if (QPixmapCache::find(key, &tinted))
        return tinted;

    const QPixmap source = Images::named(cell.contents);
    if (source.isNull())
        return {};
    // Multiplying premultiplied channels by the colour is the platform's
    // tint; the opacity is applied per particle when drawing.
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const double r = std::clamp(double(c.red), 0.0, 1.0);
    const double g = std::clamp(double(c.green), 0.0, 1.0);
    const double b = std::clamp(double(c.blue), 0.0, 1.0);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(int(qRed(p) * r + 0.5), int(qGreen(p) * g + 0.5),
                            int(qBlue(p) * b + 0.5), qAlpha(p));
        }
    }
    tinted = QPixmap::fromImage(image);
    tinted.setDevicePixelRatio(source.devicePixelRatio());
    QPixmapCache::insert(key, tinted);
    return tinted;
}

QRectF EmitterView::particlesRect() const {
    QRectF covered;
    const auto& cells = m_emitter.emitterCells();
    const QPointF origin = hostOrigin();
    std::vector<double> radius(cells.size(), 0.0);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const QSizeF size = tintedPicture(cells[i]).deviceIndependentSize();
        radius[i] = 0.5 * std::hypot(size.width(), size.height());
    }
    for (const ParticleEmitter::Particle& p : m_emitter.particles()) {
        const double r = radius[std::size_t(p.cell)] * p.scale;
        if (r <= 0 || p.alpha <= 0)
            continue;
        covered |= QRectF(origin + p.position - QPointF(r, r), QSizeF(2 * r, 2 * r));
    }
    return covered;
}

void EmitterView::paintEvent(QPaintEvent*) {
    if (!hostShown() || m_emitter.particles().empty())
        return;
    const auto& cells = m_emitter.emitterCells();
    std::vector<QPixmap> pictures;
    pictures.reserve(cells.size());
    for (const ParticleEmitter::Cell& cell : cells)
        pictures.push_back(tintedPicture(cell));

    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF origin = hostOrigin();
    for (const ParticleEmitter::Particle& p : m_emitter.particles()) {
        const QPixmap& picture = pictures[std::size_t(p.cell)];
        if (picture.isNull() || p.alpha <= 0 || p.scale <= 0)
            continue;
        const QSizeF size = picture.deviceIndependentSize();
        painter.setOpacity(p.alpha);
        painter.setTransform(
            QTransform()
                .translate(origin.x() + p.position.x(), origin.y() + p.position.y())
                .rotateRadians(p.angle)
                .scale(p.scale, p.scale));
        painter.drawPixmap(QPointF(-size.width() / 2, -size.height() / 2), picture);
    }
}

void EmitterView::tick() {
    const double dt = double(m_elapsed.nsecsElapsed()) / 1e9;
    m_elapsed.restart();
    m_emitter.advance(dt);
    // Repaint only where particles were or are, so that the widgets under a
    // full-screen overlay are not all redrawn on every frame.
    const QRectF covered = hostShown() ? particlesRect() : QRectF();
    const QRectF dirty = covered | m_lastDirty;
    m_lastDirty = covered;
    if (!dirty.isEmpty())
        update(dirty.toAlignedRect().adjusted(-2, -2, 2, 2));
}

void EmitterView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_elapsed.start();
    m_timer.start();
}

void EmitterView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer.stop();
}

bool EmitterView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    else if (watched == m_host && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        update();
    return QWidget::eventFilter(watched, event);
}
