#include "share/sharing.h"

#include "platform/uikit/mainscreen.h"
#include "share/blewcommonutil.h"
#include "share/qmxsharetools.h"
#include "share/service/socialcontrollerservice.h"
#include "share/service/socialdata.h"
#include "share/service/socialdataservice.h"
#include "share/service/socialresponse.h"
#include "share/service/socialwechathandler.h"
#include "share/sheet/socialsnsplatform.h"
#include "share/sheet/socialsnsplatformmanager.h"
#include "share/socialsnsservice.h"
#include "share/vantorokeys.h"

#include <QImage>
#include <QWidget>

namespace {

const QString kAppName = QStringLiteral("Vantoro");

QString wechatAppId() {
    return QString::fromLatin1(VantoroKeys::wechatAppId);
}

// What a pick fills in on the shared data, whichever screen's it is.
void fillSharedData(SocialData* picked, const QString& title, const QString& text) {
    SocialData* shared = SocialData::defaultData();
    shared->extConfig().setTitle(title);
    shared->setShareText(text);
    shared->setShareImage(BlewCommonUtil::readScreenShow());
    // No resource of its own: the link comes from the connectors.
    picked->urlResource().setResourceType(0, QString());
}

} // namespace

QString Sharing::platformName(Network network) {
    switch (network) {
    case Network::WechatChat:
        return QStringLiteral("wxsession");
    case Network::WechatMoments:
        return QStringLiteral("wxtimeline");
    case Network::SinaWeibo:
        return QStringLiteral("sina");
    }
    return {};
}

QStringList Sharing::sheetNetworks() {
    return {platformName(Network::WechatMoments), platformName(Network::SinaWeibo),
            platformName(Network::WechatChat)};
}

QByteArray Sharing::screenshot() {
    return BlewCommonUtil().getScreenShotDataWith(MainScreen::boundsSize());
}

void Sharing::presentSheet(QWidget* screen) {
    const QByteArray png = screenshot();
    BlewCommonUtil::writeScreenShow(png);
    SocialSnsService::presentSnsIconSheetView(screen, QString::fromLatin1(VantoroKeys::appKey),
                                              QString(), png, sheetNetworks(), screen);
}

// The picked data gets the bare name as title first; the shared data's title
// set afterwards is the one sent, as the picked data is the shared one.
void Sharing::fillLungTestShare(SocialData* picked, int capacity, int percent,
                                const QString& comment, const QString& commentKey) {
    picked->extConfig().setTitle(kAppName);
    const QString text = QMXShareTools::getBlewShareText(capacity, percent, comment, commentKey);
    fillSharedData(picked, QStringLiteral("我的肺活量%1毫升 - %2 ").arg(capacity).arg(kAppName),
                   text);
}

void Sharing::fillRankingShare(SocialData* picked, const QString& rankingLink) {
    SocialWechatHandler::setWXAppId(wechatAppId(), rankingLink);
    fillSharedData(picked, kAppName,
                   QStringLiteral("我从 @Vantoro 给你分享了今天的最新pm2.5城市排名。"));
}

void Sharing::setSharedTitle(const QString& title) {
    SocialData::defaultData()->extConfig().setTitle(title);
}

void Sharing::post(QWidget* screen, Network network, const QString& text, const QString& link) {
    if (network != Network::SinaWeibo)
        SocialWechatHandler::setWXAppId(wechatAppId(), link);
    const QByteArray png = screenshot();
    SocialDataService::defaultDataService().postSNSWithTypes(
        {platformName(network)}, text, png, QVariant(), nullptr, screen,
        [](const SocialResponse& response) { Q_UNUSED(response.responseCode()); });
}

void Sharing::openWeiboEditor(QWidget* screen, const QString& text) {
    const QByteArray png = screenshot();
    SocialControllerService& service = SocialControllerService::defaultControllerService();
    service.setShareText(text, png, screen);
    if (const SocialSnsPlatform* sina =
            SocialSnsPlatformManager::getSocialPlatformWithName(platformName(Network::SinaWeibo)))
        sina->snsClickHandler(screen, service, true);
}
