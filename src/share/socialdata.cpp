#include "socialdata.h"

#include "sharelog.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QString g_appKey;
} // namespace

void SocialData::setAppKey(const QString& appKey) {
    {
        std::lock_guard lock(g_mutex);
        g_appKey = appKey;
    }
    qCInfo(lcShare) << "SocialData setAppKey" << appKey;
}

QString SocialData::appKey() {
    std::lock_guard lock(g_mutex);
    return g_appKey;
}
