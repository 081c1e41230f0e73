#include "share/service/socialqqhandler.h"

#include "share/transport/sharelog.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QString g_appId;
QString g_appKey;
QString g_url;
bool g_webView = false;
} // namespace

void SocialQQHandler::setQQWithAppId(const QString& appId, const QString& appKey,
                                     const QString& url) {
    {
        std::lock_guard lock(g_mutex);
        g_appId = appId;
        g_appKey = appKey;
        g_url = url;
    }
    qCInfo(lcShare) << "SocialQQHandler setQQWithAppId" << appId << "appKey" << appKey << "url"
                    << url;
}

void SocialQQHandler::setSupportWebView(bool support) {
    {
        std::lock_guard lock(g_mutex);
        g_webView = support;
    }
    qCInfo(lcShare) << "SocialQQHandler setSupportWebView" << support;
}

QString SocialQQHandler::appId() {
    std::lock_guard lock(g_mutex);
    return g_appId;
}

QString SocialQQHandler::appKey() {
    std::lock_guard lock(g_mutex);
    return g_appKey;
}

QString SocialQQHandler::url() {
    std::lock_guard lock(g_mutex);
    return g_url;
}

bool SocialQQHandler::supportsWebView() {
    std::lock_guard lock(g_mutex);
    return g_webView;
}
