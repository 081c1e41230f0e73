#include "share/socialsnsplatformmanager.h"

#include "share/socialsnsplatform.h"

#include <vector>

namespace {
const std::vector<SocialSnsPlatform>& platforms() {
    static const std::vector<SocialSnsPlatform> all{
        {QStringLiteral("wxtimeline"), QStringLiteral("朋友圈")},
        {QStringLiteral("sina"), QStringLiteral("新浪微博")},
        {QStringLiteral("wxsession"), QStringLiteral("微信好友")},
    };
    return all;
}
} // namespace

const SocialSnsPlatform*
SocialSnsPlatformManager::getSocialPlatformWithName(const QString& platformName) {
    for (const SocialSnsPlatform& platform : platforms())
        if (platform.platformName() == platformName)
            return &platform;
    return nullptr;
}

QStringList SocialSnsPlatformManager::platformNames() {
    QStringList names;
    for (const SocialSnsPlatform& platform : platforms())
        names << platform.platformName();
    return names;
}
