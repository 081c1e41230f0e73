#include "share/sheet/socialsnsplatformmanager.h"

#include "share/sheet/socialsnsplatform.h"
#include "share/transport/sharenetworks.h"

#include <vector>

namespace {
const std::vector<SocialSnsPlatform>& platforms() {
    static const std::vector<SocialSnsPlatform> all = [] {
        std::vector<SocialSnsPlatform> made;
        for (const QString& name : ShareNetworks::names())
            made.emplace_back(name, ShareNetworks::displayName(name));
        return made;
    }();
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
