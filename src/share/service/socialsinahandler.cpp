#include "share/service/socialsinahandler.h"

#include "share/transport/sharelog.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QString g_redirect;
} // namespace

void SocialSinaHandler::openSSOWithRedirectURL(const QString& redirectHost) {
    {
        std::lock_guard lock(g_mutex);
        g_redirect = redirectHost;
    }
    qCInfo(lcShare) << "SocialSinaHandler openSSOWithRedirectURL" << redirectHost;
}

QString SocialSinaHandler::redirectURL() {
    std::lock_guard lock(g_mutex);
    return g_redirect;
}

bool SocialSinaHandler::isSSOEnabled() {
    return !redirectURL().isEmpty();
}
