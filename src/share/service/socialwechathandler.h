#pragma once

#include <QString>

// The WeChat connector: later WeChat shares carry the link registered last.
class SocialWechatHandler {
public:
    static void setWXAppId(const QString& appId, const QString& url);
    static QString appId();
    static QString url();
};
