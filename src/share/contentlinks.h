#pragma once

#include <QString>
#include <QUrl>

// Where the content server is: its pages, landing pages and root page are
// all formed from one base address (scheme, host and port), set at start-up.
class ContentLinks {
public:
    static void setBaseUrl(const QUrl& base);
    static QUrl baseUrl();
    // The base address as text, without a trailing slash; paths are appended
    // to it as they are.
    static QString base();
    // The root page: scheme and host (and port), no path.
    static QString rootPage();
    static QString link(const QString& pathAndQuery);
};
