#include "app/maininterface.h"

#include "app/tabviewcontroller.h"
#include "platform/uikit/phonewindow.h"
#include "screens/lungtest/blewtestviewcontroller.h"
#include "screens/smoggame/blewfogviewcontroller.h"
#include "screens/web/blewhotviewcontroller.h"
#include "screens/web/rankinglistviewcontroller.h"

#include <QWidget>

PhoneWindow* MainInterface::load(QSizeF screenSize, double scale) {
    auto* window = new PhoneWindow(screenSize, scale);
    window->setWindowTitle(QStringLiteral("Vantoro"));
    auto* tabs = new TabViewController(window);
    tabs->setObjectName(QStringLiteral("tabViewController"));
    tabs->setGeometry(window->rect());
    tabs->setViewControllers({
        new BlewTestViewController,
        new BlewFogViewController,
        new BlewHotViewController,
        new RankingListViewController,
    });
    return window;
}

TabViewController* MainInterface::tabViewController(QWidget* window) {
    return window ? window->findChild<TabViewController*>(QStringLiteral("tabViewController"))
                  : nullptr;
}
