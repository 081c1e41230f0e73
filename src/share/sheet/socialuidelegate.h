#pragma once

#include "share/service/socialresponse.h"

#include <QString>

class QObject;
class SocialData;

// What the share service calls on the screen that shares. A screen answers
// an operation by declaring it Q_INVOKABLE with exactly these parameter
// types, e.g.
//   Q_INVOKABLE void didSelectSocialPlatform(const QString& platformName,
//                                            SocialData* socialData);
//   Q_INVOKABLE void didFinishGetSocialDataInViewController(const SocialResponse& response);
// An operation the screen does not declare is skipped.
class SocialUIDelegate {
public:
    static constexpr const char* kDidSelectSocialPlatform =
        "didSelectSocialPlatform(QString,SocialData*)";
    static constexpr const char* kDidFinishGetSocialData =
        "didFinishGetSocialDataInViewController(SocialResponse)";

    // Each returns whether the delegate answered the operation.
    static bool didSelectSocialPlatform(QObject* delegate, const QString& platformName,
                                        SocialData* socialData);
    static bool didFinishGetSocialDataInViewController(QObject* delegate,
                                                       const SocialResponse& response);
};
