#include "platform/uikit/keywindow.h"

namespace {
QPointer<QWidget> g_window;
}

QWidget* KeyWindow::keyWindow() {
    return g_window;
}

void KeyWindow::makeKeyAndVisible(QWidget* window) {
    g_window = window;
    window->show();
    window->raise();
    window->activateWindow();
}
