#include "share/service/socialcontrollerservice.h"

#include "share/transport/sharelog.h"

SocialControllerService& SocialControllerService::defaultControllerService() {
    static SocialControllerService service;
    return service;
}

void SocialControllerService::setShareText(const QString& text, const QByteArray& imagePng,
                                           QObject* socialUIDelegate) {
    m_shareText = text;
    m_shareImage = imagePng;
    m_delegate = socialUIDelegate;
    qCInfo(lcShare) << "SocialControllerService setShareText, image bytes" << imagePng.size();
}
