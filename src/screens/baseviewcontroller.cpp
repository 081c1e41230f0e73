#include "baseviewcontroller.h"

BaseViewController::BaseViewController(QWidget* parent) : ViewController(parent) {}
