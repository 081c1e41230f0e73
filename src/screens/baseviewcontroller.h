#pragma once

#include "platform/uikit/viewcontroller.h"

// The common ancestor of every tab screen.
class BaseViewController : public ViewController {
    Q_OBJECT
public:
    explicit BaseViewController(QWidget* parent = nullptr);
};
