#include "share/service/socialdataservice.h"

#include "platform/system/dispatch.h"
#include "share/service/socialdata.h"
#include "share/service/socialurlresource.h"
#include "share/service/socialwechathandler.h"
#include "share/transport/sharelog.h"
#include "share/transport/sharenetworks.h"
#include "share/transport/sharepost.h"
#include "share/transport/sharetransportregistry.h"

#include <QBuffer>
#include <QPointer>
#include <QWidget>

namespace {

QByteArray pngOf(const QImage& image) {
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

SocialDataService& SocialDataService::defaultDataService() {
    static SocialDataService service;
    return service;
}

QString SocialDataService::linkInText(const QString& text) {
    const qsizetype http = text.lastIndexOf(QLatin1String("http://"));
    const qsizetype https = text.lastIndexOf(QLatin1String("https://"));
    const qsizetype start = std::max(http, https);
    if (start < 0)
        return {};
    qsizetype end = text.indexOf(u'\n', start);
    if (end < 0)
        end = text.size();
    return text.mid(start, end - start).trimmed();
}

QString SocialDataService::linkFor(const QString& platformName, const QString& text) {
    if (platformName == QLatin1String("wxsession") || platformName == QLatin1String("wxtimeline"))
        return SocialWechatHandler::url();
    if (platformName == QLatin1String("sina"))
        return linkInText(text);
    return {};
}

SocialResponse SocialDataService::send(const QString& platformName, const QString& text,
                                       const QByteArray& imagePng,
                                       const SocialUrlResource* urlResource,
                                       QWidget* presentedController) {
    if (!ShareNetworks::contains(platformName)) {
        qCWarning(lcShare) << "share to unknown network" << platformName;
        return {SocialResponse::Failed, platformName};
    }
    SharePost post;
    post.platform = platformName;
    post.title = SocialData::defaultData()->extConfig().title();
    post.text = text;
    post.link = linkFor(platformName, text);
    post.imagePng = imagePng;
    if (urlResource && urlResource->isAttached()) {
        post.resourceType = urlResource->resourceType();
        post.resourceUrl = urlResource->url();
    }
    post.time = QDateTime::currentDateTimeUtc();
    const bool sent = ShareTransportRegistry::sharedInstance().send(post, presentedController);
    return {sent ? SocialResponse::Success : SocialResponse::Failed, platformName};
}

void SocialDataService::postSNSWithTypes(const QStringList& types, const QString& content,
                                         const QByteArray& imagePng, const QVariant& location,
                                         const SocialUrlResource* urlResource,
                                         QWidget* presentedController, Completion completion) {
    qCInfo(lcShare) << "SocialDataService postSNSWithTypes" << types << "image bytes"
                    << imagePng.size() << (location.isValid() ? "(location ignored)" : "");
    SocialResponse response(types.isEmpty() ? SocialResponse::Failed : SocialResponse::Success,
                            types.join(u','));
    for (const QString& type : types) {
        if (send(type, content, imagePng, urlResource, presentedController).responseCode() !=
            SocialResponse::Success)
            response = SocialResponse(SocialResponse::Failed, types.join(u','));
    }
    if (!completion)
        return;
    const bool hadScreen = presentedController != nullptr;
    QPointer<QWidget> screen = presentedController;
    Dispatch::shared().main([completion = std::move(completion), response, hadScreen, screen] {
        if (hadScreen && !screen) {
            qCInfo(lcShare) << "share completion skipped: its screen is gone";
            return;
        }
        completion(response);
    });
}

SocialResponse SocialDataService::postSocialData(const QString& platformName,
                                                 const SocialData& data,
                                                 QWidget* presentedController) {
    return send(platformName, data.shareText(), pngOf(data.shareImage()), &data.urlResource(),
                presentedController);
}
