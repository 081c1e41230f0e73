#include "share/socialsnsservice.h"

#include "platform/uikit/keywindow.h"
#include "share/service/socialdata.h"
#include "share/service/socialdataservice.h"
#include "share/service/socialqqhandler.h"
#include "share/service/socialwechathandler.h"
#include "share/sheet/socialsnssheet.h"
#include "share/sheet/socialuidelegate.h"
#include "share/transport/sharelog.h"

#include <QPointer>
#include <QWidget>

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

void SocialSnsService::presentSnsIconSheetView(QWidget* presentingController, const QString& appKey,
                                               const QString& shareText,
                                               const QByteArray& shareImagePng,
                                               const QStringList& snsNames, QObject* delegate) {
    qCInfo(lcShare) << "SocialSnsService presentSnsIconSheetView" << snsNames << "image bytes"
                    << shareImagePng.size();
    if (appKey != SocialData::appKey())
        qCWarning(lcShare) << "share sheet opened with application key" << appKey
                           << "while the service is registered with" << SocialData::appKey();

    SocialData* data = SocialData::defaultData();
    if (!shareText.isNull())
        data->setShareText(shareText);
    if (!shareImagePng.isEmpty())
        data->setShareImage(QImage::fromData(shareImagePng, "PNG"));

    QWidget* window = KeyWindow::keyWindow();
    if (!window && presentingController)
        window = presentingController->window();
    if (!window) {
        qCWarning(lcShare) << "share sheet: no window to show it over";
        return;
    }

    auto* sheet = new SocialSnsSheet(window, snsNames);
    QPointer<QObject> heldDelegate = delegate;
    QPointer<QWidget> presenting = presentingController;
    QObject::connect(
        sheet, &SocialSnsSheet::platformPicked, sheet,
        [heldDelegate, presenting](const QString& platformName) {
            qCInfo(lcShare) << "share sheet: picked" << platformName;
            SocialData* shared = SocialData::defaultData();
            SocialUIDelegate::didSelectSocialPlatform(heldDelegate, platformName, shared);
            const SocialResponse response = SocialDataService::defaultDataService().postSocialData(
                platformName, *shared, presenting);
            SocialUIDelegate::didFinishGetSocialDataInViewController(heldDelegate, response);
        });
    QObject::connect(sheet, &SocialSnsSheet::cancelled, sheet,
                     [] { qCInfo(lcShare) << "share sheet: cancelled"; });
}
