#pragma once

#include <QString>

// The lung test's share text with its landing-page link, the re-pointing of
// the QQ and WeChat connectors at a link, and the bundle's name and version.
class QMXShareTools {
public:
    // "我在用 @Vantoro 测量肺活量,我的肺活量:<capacity>毫升,超越了全球百分之<percent>%的环保卫士! "
    // + description + "一起来玩吧~~" + landing-page link, with nothing
    // between the pieces. Points the QQ and WeChat connectors at the link
    // before it builds the text.
    static QString getBlewShareText(int capacity, int percent, const QString& description,
                                    const QString& descKey);
    // The smog game builds its own text; this one is always empty.
    static QString getBlewFogText(int capacity, int percent, const QString& description,
                                  const QString& descKey);
    // The content server's lung-test landing page; the key goes in as it is,
    // not percent-encoded.
    static QString blewLandingLink(int capacity, int percent, const QString& descKey);

    // Later QQ and WeChat shares carry `link`.
    static void reInitForShare(const QString& link);

    // Null when the bundle has no such value.
    static QString getAppDisplayName();
    static QString getAppVersion();
};
