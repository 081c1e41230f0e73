#pragma once

#include <QPointer>
#include <QWidget>

// The application's one top-level window, the one screenshots capture and
// overlays are laid over.
class KeyWindow {
public:
    static QWidget* keyWindow();
    static void makeKeyAndVisible(QWidget* window);
};
