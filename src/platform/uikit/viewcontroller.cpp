#include "platform/uikit/viewcontroller.h"

ViewController::ViewController(QWidget* parent) : QWidget(parent) {}

void ViewController::loadViewIfNeeded() {
    if (m_loaded)
        return;
    m_loaded = true;
    viewDidLoad();
}

void ViewController::setTabItem(const QString& title, const QString& imageName) {
    m_tabTitle = title;
    m_tabImageName = imageName;
}
