#include "analytics/analyticsnetwork.h"

#include "analytics/analyticsservice.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

AnalyticsNetwork& AnalyticsNetwork::sharedInstance() {
    return AnalyticsService::sharedInstance().network();
}

AnalyticsNetwork::AnalyticsNetwork(InterfaceLister lister) : m_lister(std::move(lister)) {}

QStringList AnalyticsNetwork::ipv4Interfaces() {
    QStringList names;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return names;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK))
            continue;
        const QString name = QString::fromLocal8Bit(a->ifa_name);
        if (!names.contains(name))
            names.append(name);
    }
    ::freeifaddrs(list);
    return names;
}

QString AnalyticsNetwork::accessString() const {
    InterfaceLister lister;
    {
        std::lock_guard lock(m_mutex);
        lister = m_lister;
    }
    const QStringList names = lister ? lister() : ipv4Interfaces();
    if (names.isEmpty())
        return QString();
    // The phone calls its wireless interface en0; a desktop rarely has one,
    // so its networks count as the other kind, which policy 0 sends over too.
    return names.contains(QLatin1String("en0")) ? QStringLiteral("WiFi")
                                                : QStringLiteral("CellNetwork");
}

void AnalyticsNetwork::setInterfaceLister(InterfaceLister lister) {
    std::lock_guard lock(m_mutex);
    m_lister = std::move(lister);
}
