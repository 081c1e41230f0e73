#include "share/service/socialwechathandler.h"

#include "share/transport/sharelog.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QString g_appId;
QString g_url;
} // namespace

void SocialWechatHandler::setWXAppId(const QString& appId, const QString& url) {
    {
        std::lock_guard lock(g_mutex);
        g_appId = appId;
        g_url = url;
    }
    qCInfo(lcShare) << "SocialWechatHandler setWXAppId" << appId << "url" << url;
}

QString SocialWechatHandler::appId() {
    std::lock_guard lock(g_mutex);
    return g_appId;
}

QString SocialWechatHandler::url() {
    std::lock_guard lock(g_mutex);
    return g_url;
}
