#include "platform/uikit/mainscreen.h"

#include <atomic>

namespace {
std::atomic<double> g_width{320}, g_height{568}, g_scale{2};
}

QSizeF MainScreen::boundsSize() {
    return {g_width.load(), g_height.load()};
}

double MainScreen::scale() {
    return g_scale.load();
}

void MainScreen::set(QSizeF boundsSize, double scale) {
    g_width = boundsSize.width();
    g_height = boundsSize.height();
    g_scale = scale;
}
