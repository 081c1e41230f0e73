#pragma once

#include <QString>
#include <QWidget>

class TabBarController;

// A screen: a root view with the lifecycle a container drives. The view is
// "loaded" (viewDidLoad) once, before it first appears.
class ViewController : public QWidget {
    Q_OBJECT
public:
    explicit ViewController(QWidget* parent = nullptr);

    void loadViewIfNeeded();
    bool isViewLoaded() const { return m_loaded; }

    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    virtual void didReceiveMemoryWarning() {}

    // The tab item of this screen.
    QString tabTitle() const { return m_tabTitle; }
    QString tabImageName() const { return m_tabImageName; }
    void setTabItem(const QString& title, const QString& imageName);

    TabBarController* tabBarController() const { return m_tabBarController; }
    void setTabBarController(TabBarController* controller) { m_tabBarController = controller; }

private:
    bool m_loaded = false;
    QString m_tabTitle;
    QString m_tabImageName;
    TabBarController* m_tabBarController = nullptr;
};
