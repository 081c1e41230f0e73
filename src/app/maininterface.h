#pragma once

#include <QSizeF>

class QWidget;
class TabViewController;

// Builds what a phone application's interface resources describe: the
// phone-sized window, the tab bar controller and its four tab screens.
class MainInterface {
public:
    static QWidget* load(QSizeF screenSize);
    static TabViewController* tabViewController(QWidget* window);
};
