#include "platform/uikit/tabbarcontroller.h"

#include "platform/uikit/images.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/tabbar.h"
#include "platform/uikit/viewanimation.h"
#include "platform/uikit/viewcontroller.h"

#include <QHideEvent>
#include <QShowEvent>

TabBarController::TabBarController(QWidget* parent) : QWidget(parent), m_tabBar(new TabBar(this)) {
    connect(m_tabBar, &TabBar::itemTapped, this, &TabBarController::setSelectedIndex);
}

void TabBarController::setViewControllers(const QVector<ViewController*>& controllers) {
    m_controllers = controllers;
    for (ViewController* c : controllers) {
        c->setParent(this);
        c->setTabBarController(this);
        c->setGeometry(rect());
        c->hide();
        m_tabBar->addItem(c->tabTitle(), Images::named(c->tabImageName()));
    }
    m_tabBar->raise();
    m_selected = -1;
    if (!controllers.isEmpty())
        setSelectedIndex(0);
}

ViewController* TabBarController::selectedViewController() const {
    return m_selected >= 0 ? m_controllers[m_selected] : nullptr;
}

void TabBarController::setSelectedIndex(int index) {
    if (index < 0 || index >= m_controllers.size() || index == m_selected)
        return;
    ViewController* previous = selectedViewController();
    ViewController* next = m_controllers[index];
    next->loadViewIfNeeded();
    if (m_onScreen && previous)
        previous->viewWillDisappear(false);
    if (m_onScreen)
        next->viewWillAppear(false);
    m_selected = index;
    m_tabBar->setSelectedIndex(index);
    next->setGeometry(rect());
    next->show();
    m_tabBar->raise();
    if (previous)
        previous->hide();
    if (m_onScreen && previous)
        previous->viewDidDisappear(false);
    if (m_onScreen)
        next->viewDidAppear(false);
    emit selectedIndexChanged(index);
}

QRect TabBarController::tabBarRestingGeometry() const {
    return {0, height() - TabBar::kHeight, width(), TabBar::kHeight};
}

void TabBarController::slideTabBar(bool hide, double seconds) {
    const double half = TabBar::kHeight / 2.0;
    const double centreY = MainScreen::boundsSize().height() + (hide ? half : -half);
    ViewAnimation::animate(m_tabBar, "pos", QPoint(m_tabBar->x(), int(centreY - half)), seconds);
}

void TabBarController::didReceiveMemoryWarning() {
    for (ViewController* c : m_controllers)
        c->didReceiveMemoryWarning();
}

void TabBarController::resizeEvent(QResizeEvent*) {
    for (ViewController* c : m_controllers)
        c->setGeometry(rect());
    m_tabBar->setGeometry(tabBarRestingGeometry());
}

// A minimise or a restore hides or shows the whole window (a spontaneous
// event); like a phone application sent to the background, the screens do
// not leave for it, so a blow under way goes on and its result is shown
// whole. Only a tab switch or the window's own hiding makes them disappear.
void TabBarController::showEvent(QShowEvent* event) {
    if (event->spontaneous())
        return;
    if (!m_loaded) {
        m_loaded = true;
        viewDidLoad();
    }
    if (!m_onScreen) {
        m_onScreen = true;
        appear(selectedViewController());
    }
}

void TabBarController::hideEvent(QHideEvent* event) {
    if (event->spontaneous())
        return;
    if (m_onScreen) {
        m_onScreen = false;
        disappear(selectedViewController());
    }
}

void TabBarController::appear(ViewController* controller) {
    if (!controller)
        return;
    controller->loadViewIfNeeded();
    controller->viewWillAppear(false);
    controller->viewDidAppear(false);
}

void TabBarController::disappear(ViewController* controller) {
    if (!controller)
        return;
    controller->viewWillDisappear(false);
    controller->viewDidDisappear(false);
}
