#pragma once

#include <QString>

// The QQ connector: later QQ shares carry the link registered last.
class SocialQQHandler {
public:
    static void setQQWithAppId(const QString& appId, const QString& appKey, const QString& url);
    static void setSupportWebView(bool support);
    static QString appId();
    static QString appKey();
    static QString url();
    static bool supportsWebView();
};
