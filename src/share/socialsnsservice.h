#pragma once

#include <QUrl>

// The share service's entry points for the application delegate.
class SocialSnsService {
public:
    // True when the URL is a hand-back from one of the registered networks'
    // applications: the WeChat application identifier as scheme, "tencent"
    // followed by the QQ identifier, or "sinaweibosso." followed by the
    // application key.
    static bool handleOpenURL(const QUrl& url);
};
