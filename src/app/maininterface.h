#pragma once

#include <QSizeF>

class PhoneWindow;
class QWidget;
class TabViewController;

// Builds what a phone application's interface resources describe: the
// phone-sized window, the tab bar controller and its four tab screens.
class MainInterface {
public:
    static PhoneWindow* load(QSizeF screenSize, double scale);
    static TabViewController* tabViewController(QWidget* window);
};
