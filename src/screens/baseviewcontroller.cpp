#include "screens/baseviewcontroller.h"

BaseViewController::BaseViewController(QWidget* parent) : ViewController(parent) {}
