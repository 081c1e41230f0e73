#include "share/qmxsharetools.h"

#include "platform/system/bundle.h"
#include "share/service/socialqqhandler.h"
#include "share/service/socialwechathandler.h"
#include "share/transport/contentlinks.h"
#include "share/vantorokeys.h"

// The pieces are joined rather than formatted with QString::arg, which would
// read a "%1" inside a comment or key as a place holder.

QString QMXShareTools::blewLandingLink(int capacity, int percent, const QString& descKey) {
    return ContentLinks::base() + QStringLiteral("/wechat/capacityPmShare.do?value=") +
           QString::number(capacity) + QStringLiteral("&percent=") + QString::number(percent) +
           QStringLiteral("&level=") + descKey;
}

QString QMXShareTools::getBlewShareText(int capacity, int percent, const QString& description,
                                        const QString& descKey) {
    const QString link = blewLandingLink(capacity, percent, descKey);
    reInitForShare(link);
    QString text;
    text += QStringLiteral("我在用 @Vantoro 测量肺活量,我的肺活量:") + QString::number(capacity) +
            QStringLiteral("毫升,超越了全球百分之") + QString::number(percent) +
            QStringLiteral("%的环保卫士! ") + description;
    text += QStringLiteral("一起来玩吧~~");
    text += link;
    return text;
}

QString QMXShareTools::getBlewFogText(int, int, const QString&, const QString&) {
    return QString(QLatin1String(""));
}

void QMXShareTools::reInitForShare(const QString& link) {
    SocialQQHandler::setQQWithAppId(QString::fromLatin1(VantoroKeys::qqAppId),
                                    QString::fromLatin1(VantoroKeys::qqAppKey), link);
    SocialQQHandler::setSupportWebView(true);
    SocialWechatHandler::setWXAppId(QString::fromLatin1(VantoroKeys::wechatAppId), link);
}

QString QMXShareTools::getAppDisplayName() {
    const QVariant value = Bundle::infoValue(QStringLiteral("CFBundleDisplayName"));
    return value.isValid() ? value.toString() : QString();
}

QString QMXShareTools::getAppVersion() {
    const QVariant value = Bundle::infoValue(QStringLiteral("CFBundleShortVersionString"));
    return value.isValid() ? value.toString() : QString();
}
