#include "share/sheet/socialsnsplatform.h"

#include "platform/uikit/keywindow.h"
#include "share/service/socialcontrollerservice.h"
#include "share/service/socialdataservice.h"
#include "share/sheet/socialshareeditor.h"
#include "share/sheet/socialuidelegate.h"
#include "share/transport/sharelog.h"

#include <QPointer>
#include <QWidget>

SocialSnsPlatform::SocialSnsPlatform(const QString& platformName, const QString& displayName)
    : m_platformName(platformName), m_displayName(displayName) {}

void SocialSnsPlatform::snsClickHandler(QWidget* presentingController,
                                        SocialControllerService& service, bool present) const {
    qCInfo(lcShare) << "SocialSnsPlatform" << m_platformName << "snsClickHandler, present"
                    << present;
    if (m_platformName == QLatin1String("sina")) {
        QWidget* host =
            present && presentingController ? presentingController : KeyWindow::keyWindow();
        if (!host && presentingController)
            host = presentingController->window();
        if (!host) {
            qCWarning(lcShare) << "no screen to show the Weibo editor over";
            return;
        }
        new SocialShareEditor(host, *this, service.shareText(), service.shareImage(),
                              presentingController, service.socialUIDelegate());
        return;
    }
    QPointer<QObject> delegate = service.socialUIDelegate();
    SocialDataService::defaultDataService().postSNSWithTypes(
        {m_platformName}, service.shareText(), service.shareImage(), QVariant(), nullptr,
        presentingController, [delegate](const SocialResponse& response) {
            SocialUIDelegate::didFinishGetSocialDataInViewController(delegate, response);
        });
}
