#include "socialsnsservice.h"

#include "sharelog.h"
#include "socialdata.h"
#include "socialqqhandler.h"
#include "socialwechathandler.h"

namespace {

QString networkOf(const QString& scheme) {
    const auto same = [&](const QString& expected) {
        return !expected.isEmpty() && scheme.compare(expected, Qt::CaseInsensitive) == 0;
    };
    if (same(SocialWechatHandler::appId()))
        return QStringLiteral("wxsession");
    if (!SocialQQHandler::appId().isEmpty() &&
        same(QStringLiteral("tencent") + SocialQQHandler::appId()))
        return QStringLiteral("qq");
    if (!SocialData::appKey().isEmpty() &&
        same(QStringLiteral("sinaweibosso.") + SocialData::appKey()))
        return QStringLiteral("sina");
    return {};
}

} // namespace

bool SocialSnsService::handleOpenURL(const QUrl& url) {
    // Hand-back URLs often carry query-like hosts that QUrl calls invalid;
    // only their scheme matters here.
    const QString network = networkOf(url.scheme());
    if (network.isEmpty()) {
        qCInfo(lcShare) << "SocialSnsService handleOpenURL: not a share hand-back:"
                        << url.toString();
        return false;
    }
    qCInfo(lcShare) << "SocialSnsService handleOpenURL: hand-back from" << network;
    return true;
}
