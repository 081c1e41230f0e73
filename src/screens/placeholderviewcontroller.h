#pragma once

#include "screens/baseviewcontroller.h"

class QLabel;

// A tab whose screen is not built yet: it says so in its own title, so that
// no one mistakes it for the finished screen.
class PlaceholderViewController : public BaseViewController {
    Q_OBJECT
public:
    PlaceholderViewController(const QString& title, const QString& note, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_title;
    QLabel* m_note;
};
