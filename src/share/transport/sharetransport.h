#pragma once

#include "share/transport/sharepost.h"

#include <QString>

class QWidget;

// Where a post goes when the service "sends" it. The phone hands posts to the
// networks' applications; the desktop has transports instead.
class ShareTransport {
public:
    virtual ~ShareTransport() = default;

    virtual QString name() const = 0;
    // True when the post went out. `presentingController` is the screen the
    // share was started from (may be null); a transport that shows something
    // shows it over that screen's window.
    virtual bool send(const SharePost& post, QWidget* presentingController) = 0;
};
