#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One post to one network, as the transports receive it.
struct SharePost {
    // "wxsession", "wxtimeline" or "sina".
    QString platform;
    // Title of WeChat and QQ messages.
    QString title;
    QString text;
    // The landing page the post points to; may be empty.
    QString link;
    // PNG; may be empty.
    QByteArray imagePng;
    // An extra resource attached to the post, when it has a link.
    int resourceType = 0;
    QString resourceUrl;
    QDateTime time;
};
