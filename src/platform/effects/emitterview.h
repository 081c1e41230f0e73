#pragma once

#include "platform/effects/particleemitter.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QPointer>
#include <QRectF>
#include <QTimer>
#include <QWidget>

// Shows a ParticleEmitter: advances it by the real time elapsed between
// display-rate ticks while the view is visible, and paints every particle
// with its cell's picture (a bundle image named by the cell's contents),
// multiplied by the cell's colour, at the particle's opacity, size factor and
// angle. Time while hidden is not simulated.
//
// On the phone an emitter is a sublayer of some view's layer and its
// particles are not clipped to that view. Here the emitter works in the
// coordinates of a host widget, while the view itself is a transparent,
// mouse-transparent overlay covering a larger ancestor of the host: see
// attachTo(). Without a host the emitter works in the view's own coordinates.
class EmitterView : public QWidget {
    Q_OBJECT
public:
    explicit EmitterView(quint32 seed = 0, QWidget* parent = nullptr);

    ParticleEmitter& emitter() { return m_emitter; }
    const ParticleEmitter& emitter() const { return m_emitter; }

    // Makes the view a child of overlayParent covering all of it (and
    // following its size), stacked directly above the child of overlayParent
    // that holds host, so that siblings laid above the host also lie above
    // the particles. host must be overlayParent's descendant. The emitter's
    // coordinates become the host's: emitter position (w/2, h/2) is the
    // host's centre wherever the host moves. Particles are not drawn while
    // the host is hidden.
    void attachTo(QWidget* host, QWidget* overlayParent);
    QWidget* host() const { return m_host; }

    // The host's top-left in this view's coordinates.
    QPointF hostOrigin() const;
    // Where the live particles cover, in this view's coordinates.
    QRectF particlesRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    bool hostShown() const;
    static QPixmap tintedPicture(const ParticleEmitter::Cell& cell);

    ParticleEmitter m_emitter;
    QPointer<QWidget> m_host;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    bool m_attached = false;
    QRectF m_lastDirty;
};
