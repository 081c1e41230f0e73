#include "maininterface.h"

#include "blewfogviewcontroller.h"
#include "blewtestviewcontroller.h"
#include "placeholderviewcontroller.h"
#include "tabviewcontroller.h"

#include <QWidget>

namespace {

ViewController* placeholder(const QString& tab, const QString& icon, const QString& title,
                            const QString& note) {
    auto* screen = new PlaceholderViewController(title, note);
    screen->setTabItem(tab, icon);
    return screen;
}

} // namespace

QWidget* MainInterface::load(QSizeF screenSize) {
    auto* window = new QWidget;
    window->setWindowTitle(QStringLiteral("Vantoro"));
    window->setFixedSize(screenSize.toSize());
    auto* tabs = new TabViewController(window);
    tabs->setObjectName(QStringLiteral("tabViewController"));
    tabs->setGeometry(window->rect());
    tabs->setViewControllers({
        new BlewTestViewController,
        new BlewFogViewController,
        placeholder(QStringLiteral("热点"), QStringLiteral("tab_hot"), QStringLiteral("空气热点"),
                    QStringLiteral("热点页面还在建设中")),
        placeholder(QStringLiteral("排行"), QStringLiteral("tab_rank"), QStringLiteral("城市排行"),
                    QStringLiteral("排行页面还在建设中")),
    });
    return window;
}

TabViewController* MainInterface::tabViewController(QWidget* window) {
    return window ? window->findChild<TabViewController*>(QStringLiteral("tabViewController"))
                  : nullptr;
}
