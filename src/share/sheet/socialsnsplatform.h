#pragma once

#include <QString>

class QWidget;
class SocialControllerService;

// One network of the share service, as its sheet shows it and as a screen
// starts a share to it.
class SocialSnsPlatform {
public:
    SocialSnsPlatform(const QString& platformName, const QString& displayName);

    QString platformName() const { return m_platformName; }
    QString displayName() const { return m_displayName; }
    // The bundle image of the network's icon.
    QString iconName() const { return QStringLiteral("sns_") + m_platformName; }

    // Starts a share of the controller service's text and image. Weibo opens
    // its edit-and-send screen: over `presentingController` itself when
    // `present` is true, over the whole window otherwise. The WeChat networks
    // post at once. The outcome goes to the service's UI delegate.
    void snsClickHandler(QWidget* presentingController, SocialControllerService& service,
                         bool present) const;

private:
    QString m_platformName;
    QString m_displayName;
};
