#pragma once

#include <QString>

// The Weibo connector: single sign-on with the service's redirect host.
class SocialSinaHandler {
public:
    static void openSSOWithRedirectURL(const QString& redirectHost);
    static QString redirectURL();
    static bool isSSOEnabled();
};
