#pragma once

#include "platform/uikit/tabbarcontroller.h"

// The application's tab bar controller: styles its bar once loaded.
class TabViewController : public TabBarController {
    Q_OBJECT
public:
    explicit TabViewController(QWidget* parent = nullptr);

    void viewDidLoad() override;
};
