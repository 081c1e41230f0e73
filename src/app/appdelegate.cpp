#include "app/appdelegate.h"

#include "analytics/analytics.h"
#include "platform/system/bundle.h"
#include "platform/web/urlcache.h"
#include "share/service/socialdata.h"
#include "share/service/socialqqhandler.h"
#include "share/service/socialsinahandler.h"
#include "share/service/socialwechathandler.h"
#include "share/socialsnsservice.h"
#include "share/transport/contentlinks.h"
#include "share/vantorokeys.h"

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

AppDelegate::~AppDelegate() = default;

bool AppDelegate::didFinishLaunchingWithOptions() {
    m_urlCache = std::make_unique<UrlCache>(kUrlCacheMemoryCapacity, kUrlCacheDiskCapacity,
                                            QString::fromLatin1(kUrlCacheDiskPath));
    UrlCache::setSharedURLCache(m_urlCache.get());
    startAnalytics();
    registerShare();
    return true;
}

void AppDelegate::startAnalytics() {
    Analytics::setLogEnabled(true);
    Analytics::setAppVersion(
        Bundle::infoValue(QStringLiteral("CFBundleShortVersionString")).toString());
    Analytics::startWithAppkey(QString::fromLatin1(VantoroKeys::appKey), kReportPolicy, QString());
}

void AppDelegate::registerShare() {
    const QString root = ContentLinks::rootPage();
    SocialData::setAppKey(QString::fromLatin1(VantoroKeys::appKey));
    SocialWechatHandler::setWXAppId(QString::fromLatin1(VantoroKeys::wechatAppId), root);
    SocialSinaHandler::openSSOWithRedirectURL(QString::fromLatin1(VantoroKeys::sinaRedirectHost));
    SocialQQHandler::setQQWithAppId(QString::fromLatin1(VantoroKeys::qqAppId),
                                    QString::fromLatin1(VantoroKeys::qqAppKey), root);
    SocialQQHandler::setSupportWebView(true);
}

void AppDelegate::applicationDidReceiveMemoryWarning() {
    if (UrlCache* cache = UrlCache::sharedURLCache())
        cache->removeAllCachedResponses();
}

bool AppDelegate::handleOpenURL(const QUrl& url) {
    return SocialSnsService::handleOpenURL(url);
}

bool AppDelegate::openURL(const QUrl& url, const QString&, const QVariant&) {
    return SocialSnsService::handleOpenURL(url);
}
