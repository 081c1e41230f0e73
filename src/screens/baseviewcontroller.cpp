#include "screens/baseviewcontroller.h"

#include "platform/uikit/alertview.h"

BaseViewController::BaseViewController(QWidget* parent) : ViewController(parent) {}

void BaseViewController::showNoMicrophoneAlert() {
    auto* alert = new AlertView(QStringLiteral("没有找到麦克风"),
                                QStringLiteral("请接上麦克风，再点开始吹气。"), nullptr,
                                QStringLiteral("好"), {});
    alert->setTag(kNoMicrophoneAlertTag);
    alert->show();
}
