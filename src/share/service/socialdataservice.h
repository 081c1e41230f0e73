#pragma once

#include "share/service/socialresponse.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QWidget;
class SocialData;
class SocialUrlResource;
struct SharePost;

// Posts to the networks through the configured transports. The title of a
// post is the shared share data's title; its link is the WeChat connector's
// link for the WeChat networks, and for Weibo the link the text itself ends
// with (Weibo posts carry no separate link).
class SocialDataService {
public:
    using Completion = std::function<void(const SocialResponse&)>;

    static SocialDataService& defaultDataService();

    // Posts `content` and the image to each named network at once, without a
    // sheet. The completion runs afterwards on the main thread, once, with
    // Success only when every network took the post; it is skipped when the
    // presenting screen has gone by then. `location` is not used on the
    // desktop.
    void postSNSWithTypes(const QStringList& types, const QString& content,
                          const QByteArray& imagePng, const QVariant& location,
                          const SocialUrlResource* urlResource, QWidget* presentedController,
                          Completion completion);

    // Sends the share data's text, image and URL resource to one network now
    // (the sheet, after its delegate filled the data).
    SocialResponse postSocialData(const QString& platformName, const SocialData& data,
                                  QWidget* presentedController);

    // The link a post of `text` to the network carries.
    static QString linkFor(const QString& platformName, const QString& text);
    // The link at the end of a share text: from its last "http://" or
    // "https://" to the end of that line; empty when there is none.
    static QString linkInText(const QString& text);

private:
    SocialDataService() = default;

    SocialResponse send(const QString& platformName, const QString& text,
                        const QByteArray& imagePng, const SocialUrlResource* urlResource,
                        QWidget* presentedController);
};
