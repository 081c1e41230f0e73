#pragma once

#include <QString>
#include <QStringList>

class SocialSnsPlatform;

// The networks the share service knows.
class SocialSnsPlatformManager {
public:
    // "wxtimeline", "sina" or "wxsession"; null for any other name.
    static const SocialSnsPlatform* getSocialPlatformWithName(const QString& platformName);
    static QStringList platformNames();
};
