#pragma once

#include <QString>

// The share service's shared data and its registration with the application
// key.
class SocialData {
public:
    static void setAppKey(const QString& appKey);
    static QString appKey();
};
