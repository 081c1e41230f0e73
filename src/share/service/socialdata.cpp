#include "share/service/socialdata.h"

#include "share/transport/sharelog.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QString g_appKey;
} // namespace

SocialData* SocialData::defaultData() {
    // Never destroyed: screens may still touch it while the application
    // object is torn down.
    static SocialData* data = new SocialData;
    return data;
}

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

void SocialData::setShareText(const QString& text) {
    m_shareText = text;
}

void SocialData::setShareImage(const QImage& image) {
    m_shareImage = image;
}
