#include "share/sheet/socialuidelegate.h"

#include "platform/system/delegatecall.h"
#include "share/service/socialdata.h"

#include <QMetaObject>

bool SocialUIDelegate::didSelectSocialPlatform(QObject* delegate, const QString& platformName,
                                               SocialData* socialData) {
    if (!DelegateCall::responds(delegate, kDidSelectSocialPlatform))
        return false;
    return QMetaObject::invokeMethod(delegate, "didSelectSocialPlatform", Qt::DirectConnection,
                                     Q_ARG(QString, platformName), Q_ARG(SocialData*, socialData));
}

bool SocialUIDelegate::didFinishGetSocialDataInViewController(QObject* delegate,
                                                              const SocialResponse& response) {
    if (!DelegateCall::responds(delegate, kDidFinishGetSocialData))
        return false;
    SocialResponse::registerMetaType();
    return QMetaObject::invokeMethod(delegate, "didFinishGetSocialDataInViewController",
                                     Qt::DirectConnection, Q_ARG(SocialResponse, response));
}
