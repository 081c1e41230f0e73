#include "share/transport/contentlinks.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QUrl g_base(QStringLiteral("http://127.0.0.1"));

// QUrl has already rewritten every IPv4 spelling (127.1, 0x7f.1,
// 2130706433) as four decimal parts, so only that form needs reading.
bool isLocalIpv4(QStringView host) {
    const QList<QStringView> parts = host.split(u'.');
    if (parts.size() != 4)
        return false;
    for (QStringView part : parts) {
        bool ok = false;
        if (part.toUInt(&ok) > 255 || !ok)
            return false;
    }
    return parts.first() == u"127" || host == u"0.0.0.0";
}

// QUrl writes IPv6 addresses in their shortest form; the zone (after "%")
// names an interface and does not change where the address leads.
bool isLocalIpv6(QStringView host) {
    const QStringView address = host.left(host.indexOf(u'%'));
    if (address == u"::1" || address == u"::")
        return true;
    const QStringView mapped = u"::ffff:";
    return address.startsWith(mapped) && isLocalIpv4(address.mid(mapped.size()));
}
} // namespace

void ContentLinks::setBaseUrl(const QUrl& base) {
    std::lock_guard lock(g_mutex);
    g_base = base.path() == QLatin1String("/") ? base.adjusted(QUrl::RemovePath)
                                               : base.adjusted(QUrl::StripTrailingSlash);
}

QUrl ContentLinks::baseUrl() {
    std::lock_guard lock(g_mutex);
    return g_base;
}

QString ContentLinks::base() {
    return baseUrl().toString(QUrl::StripTrailingSlash);
}

QString ContentLinks::rootPage() {
    return baseUrl()
        .adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toString(QUrl::StripTrailingSlash);
}

QString ContentLinks::link(const QString& pathAndQuery) {
    return base() + pathAndQuery;
}

bool ContentLinks::opensOnlyHere(const QUrl& link) {
    QString host = link.host().toLower();
    if (host.endsWith(u'.'))
        host.chop(1);
    if (host.contains(u':'))
        return isLocalIpv6(host);
    return host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")) ||
           isLocalIpv4(host);
}
