#pragma once

#include "platform/uikit/viewcontroller.h"

// The common ancestor of every tab screen.
class BaseViewController : public ViewController {
    Q_OBJECT
public:
    explicit BaseViewController(QWidget* parent = nullptr);

protected:
    // Tells the player that a play screen cannot listen: there is no audio
    // input at all. The screen stays as it was, tabs included; a start after
    // a microphone is plugged in listens again.
    static void showNoMicrophoneAlert();

    // Tag of that alert; screens handle only their own alerts' answers.
    static constexpr int kNoMicrophoneAlertTag = 2;
};
