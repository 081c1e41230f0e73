#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

class QObject;
class QWidget;

// The share service's entry points for the application delegate and the
// screens that share through the sheet.
class SocialSnsService {
public:
    // True when the URL is a hand-back from one of the registered networks'
    // applications: the WeChat application identifier as scheme, "tencent"
    // followed by the QQ identifier, or "sinaweibosso." followed by the
    // application key.
    static bool handleOpenURL(const QUrl& url);

    // Shows the sheet of `snsNames` over the key window (over the presenting
    // screen's window when there is no key window). A text or image given
    // here goes into the shared share data first; a null text or empty image
    // leaves the field as it was. When the user picks a network the sheet
    // closes, the delegate's didSelectSocialPlatform gets the shared share
    // data to fill, the data's content is sent to that network, and the
    // delegate's didFinishGetSocialDataInViewController gets the outcome.
    // Cancelling sends nothing and calls nothing.
    static void presentSnsIconSheetView(QWidget* presentingController, const QString& appKey,
                                        const QString& shareText, const QByteArray& shareImagePng,
                                        const QStringList& snsNames, QObject* delegate);
};
