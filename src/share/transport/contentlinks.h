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

    // True when the link's host is this computer: "localhost" (and names
    // under it), 127.0.0.0/8, ::1, or the unspecified 0.0.0.0 and ::. Such a
    // link opens nowhere but here, so a phone that is handed it gets nothing.
    // Any other host, private LAN addresses included, may be reachable.
    static bool opensOnlyHere(const QUrl& link);
};
