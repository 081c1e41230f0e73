#pragma once

#include <QVector>
#include <QWidget>

class TabBar;
class ViewController;

// Holds the tab screens and the tab bar. Every screen fills the whole
// controller; only the selected one is visible, and the tab bar lies over its
// bottom edge. Appearance events follow the selection and the window.
class TabBarController : public QWidget {
    Q_OBJECT
public:
    explicit TabBarController(QWidget* parent = nullptr);

    void setViewControllers(const QVector<ViewController*>& controllers);
    const QVector<ViewController*>& viewControllers() const { return m_controllers; }

    int selectedIndex() const { return m_selected; }
    ViewController* selectedViewController() const;
    void setSelectedIndex(int index);

    TabBar* tabBar() const { return m_tabBar; }
    // Where the tab bar rests when it is shown.
    QRect tabBarRestingGeometry() const;
    // Slides the bar's centre to the screen's height plus half the bar's
    // height (just below the bottom edge) or minus it (back on it).
    void slideTabBar(bool hide, double seconds);

    virtual void viewDidLoad() {}
    virtual void didReceiveMemoryWarning();

signals:
    void selectedIndexChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void appear(ViewController* controller);
    void disappear(ViewController* controller);

    TabBar* m_tabBar;
    QVector<ViewController*> m_controllers;
    int m_selected = -1;
    bool m_onScreen = false;
    bool m_loaded = false;
};
