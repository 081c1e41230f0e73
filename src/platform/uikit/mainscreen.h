#pragma once

#include <QSizeF>

// The phone screen the window stands for: its bounds in points and its scale
// (device pixels per point). Layouts are computed from these values.
class MainScreen {
public:
    static QSizeF boundsSize();
    static double scale();
    static void set(QSizeF boundsSize, double scale);
};
