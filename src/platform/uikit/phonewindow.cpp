#include "platform/uikit/phonewindow.h"

#include "platform/system/userdefaults.h"
#include "platform/uikit/tabbarcontroller.h"
#include "platform/uikit/windowscale.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QScreen>
#include <QWindow>
#include <cmath>

Q_LOGGING_CATEGORY(lcPhoneWindow, "vantoro.window")

namespace {

// Room for a window manager's title bar and borders, in the desktop's
// logical pixels, until the window is on screen and its real frame is known.
const QMargins kFrameAllowance(4, 40, 4, 4);

// While the window is made anew, its screens stay where they are: the
// hiding and showing that comes with it is not a player leaving the tab.
class KeepScreensOnShow : public QObject {
public:
    KeepScreensOnShow() { qApp->installEventFilter(this); }
    ~KeepScreensOnShow() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool visibility = event->type() == QEvent::Show || event->type() == QEvent::Hide;
        return visibility && qobject_cast<TabBarController*>(watched);
    }
};

} // namespace

PhoneWindow::PhoneWindow(QSizeF points, double phoneScale)
    : m_points(points), m_phoneScale(phoneScale) {
    setFixedSize(points.toSize());
    // Before any widget of the window, the web pages' included: the
    // browser engine takes Ctrl+plus and Ctrl+minus for its own zoom.
    qApp->installEventFilter(this);
}

// Ctrl+plus (or Ctrl+=, plus without the shift), Ctrl+minus and Ctrl+0:
// +1, -1, 0; anything else: no zoom key.
std::optional<int> PhoneWindow::zoomKey(const QKeyEvent& key) {
    if (!(key.modifiers() & Qt::ControlModifier))
        return std::nullopt;
    switch (key.key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return 1;
    case Qt::Key_Minus:
        return -1;
    case Qt::Key_0:
        return 0;
    default:
        return std::nullopt;
    }
}

bool PhoneWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    const std::optional<int> steps = zoomKey(*static_cast<QKeyEvent*>(event));
    if (!steps)
        return false;
    if (event->type() == QEvent::KeyPress)
        *steps == 0 ? resetZoom() : zoom(*steps);
    event->accept();
    return true;
}

double PhoneWindow::scale() const {
    return WindowScale::current(screen());
}

// The window manager's frame in device pixels: the real one once the window
// is framed (Qt gives it in the window's logical pixels), until then the
// allowance at the desktop's own scale.
QMargins PhoneWindow::framePixels() const {
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const bool known = !frame.isNull();
    const double ratio = known ? WindowScale::current(screen()) : WindowScale::desktop(screen());
    const QMargins logical = known ? frame : kFrameAllowance;
    return {int(std::ceil(logical.left() * ratio)), int(std::ceil(logical.top() * ratio)),
            int(std::ceil(logical.right() * ratio)), int(std::ceil(logical.bottom() * ratio))};
}

double PhoneWindow::fittedScale() const {
    const QScreen* on = screen();
    if (!on)
        return m_phoneScale;
    const QSize available =
        (QSizeF(on->availableGeometry().size()) * WindowScale::current(on)).toSize();
    return WindowScale::fitting(m_points, m_phoneScale, available, framePixels());
}

void PhoneWindow::fitToScreen() {
    const double fitted = fittedScale();
    const double remembered = UserDefaults::standardUserDefaults().doubleForKey(kScaleKey);
    const double chosen =
        remembered > 0 ? std::clamp(remembered, WindowScale::kMinimum, fitted) : fitted;
    WindowScale::apply(screen(), chosen);
    qCInfo(lcPhoneWindow).nospace() << "window " << qRound(m_points.width() * scale()) << "x"
                                    << qRound(m_points.height() * scale()) << " pixels (" << scale()
                                    << " a point; the screen has room for " << fitted << ")";
}

void PhoneWindow::zoom(int steps) {
    setScale(scale() * std::pow(kZoomStep, steps));
}

void PhoneWindow::resetZoom() {
    setScale(fittedScale());
}

void PhoneWindow::setScale(double scale) {
    const double bounded = std::clamp(scale, WindowScale::kMinimum, fittedScale());
    UserDefaults::standardUserDefaults().setDouble(bounded, kScaleKey);
    if (std::abs(bounded - this->scale()) < 0.005)
        return;
    WindowScale::apply(screen(), bounded);
    // The pixel ratio of a window is fixed when it is created: make the
    // native window anew, the widgets in it stay as they are.
    if (QWindow* window = windowHandle(); window && window->handle()) {
        KeepScreensOnShow keep;
        const QPoint at = pos();
        window->destroy();
        window->setVisible(true);
        move(at);
        // What Qt tells the widgets when a window moves to a screen of
        // another scale; views that draw through a texture of their own
        // (the browser engine's) size it anew.
        QEvent changed(QEvent::ScreenChangeInternal);
        for (QWidget* child : findChildren<QWidget*>())
            QCoreApplication::sendEvent(child, &changed);
    }
    keepInsideScreen();
    qCInfo(lcPhoneWindow).nospace() << "window zoomed to " << qRound(m_points.width() * bounded)
                                    << "x" << qRound(m_points.height() * bounded) << " pixels";
}

// Once the window manager has framed the window, its real frame replaces
// the allowance; a window that does not fit with it is made smaller.
void PhoneWindow::keepInsideScreen() {
    const QScreen* on = screen();
    if (!on || !isVisible())
        return;
    const QRect available = on->availableGeometry();
    if (!available.contains(frameGeometry()) && fittedScale() < scale() - 0.005) {
        setScale(fittedScale());
        return;
    }
    QRect frame = frameGeometry();
    frame.moveRight(std::min(frame.right(), available.right()));
    frame.moveBottom(std::min(frame.bottom(), available.bottom()));
    frame.moveLeft(std::max(frame.left(), available.left()));
    frame.moveTop(std::max(frame.top(), available.top()));
    if (frame.topLeft() != frameGeometry().topLeft())
        move(frame.topLeft());
}

bool PhoneWindow::event(QEvent* event) {
    const bool placed = event->type() == QEvent::Show || event->type() == QEvent::Move;
    if (placed && !m_checkedFrame && windowHandle() && !windowHandle()->frameMargins().isNull()) {
        m_checkedFrame = true;
        keepInsideScreen();
    }
    return QWidget::event(event);
}
