#include "app/tabviewcontroller.h"

#include "platform/uikit/images.h"
#include "platform/uikit/tabbar.h"

TabViewController::TabViewController(QWidget* parent) : TabBarController(parent) {}

void TabViewController::viewDidLoad() {
    TabBarController::viewDidLoad();
    TabBar* bar = tabBar();
    bar->setBackgroundImage(Images::named(QStringLiteral("tabbg_new.png")));
    // The bar answers setTranslucent, so the tint-colour branch for bars that
    // do not never applies here.
    bar->setTranslucent(true);
    bar->setBarStyle(0);
    bar->setBackgroundColor(QColor::fromRgbF(0.9f, 0.9f, 0.9f, 0.08f));
    bar->setAlpha(1.0);
}
