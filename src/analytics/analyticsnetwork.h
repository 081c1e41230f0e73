#pragma once

#include <QStringList>
#include <functional>

// What kind of network a report would go over: "WiFi", "CellNetwork", or ""
// when the device has no IPv4 interface besides loopback, in which case no
// report is tried.
class AnalyticsNetwork {
public:
    using InterfaceLister = std::function<QStringList()>;

    static QString accessString();
    // The names of the IPv4 interfaces that are not loopback.
    static QStringList ipv4Interfaces();
    // Tests stand in their own interfaces; an empty function restores the
    // system's.
    static void setInterfaceLister(InterfaceLister lister);
};
