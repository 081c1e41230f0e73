#pragma once

#include <QStringList>
#include <functional>
#include <mutex>

// What kind of network a report would go over: "WiFi", "CellNetwork", or ""
// when the device has no IPv4 interface besides loopback, in which case no
// report is tried.
class AnalyticsNetwork {
public:
    using InterfaceLister = std::function<QStringList()>;

    // The installed service's.
    static AnalyticsNetwork& sharedInstance();

    // With no lister, the system's interfaces.
    explicit AnalyticsNetwork(InterfaceLister lister = {});
    AnalyticsNetwork(const AnalyticsNetwork&) = delete;
    AnalyticsNetwork& operator=(const AnalyticsNetwork&) = delete;

    QString accessString() const;
    // The names of the system's IPv4 interfaces that are not loopback.
    static QStringList ipv4Interfaces();
    // Tests stand in their own interfaces; an empty function restores the
    // system's.
    void setInterfaceLister(InterfaceLister lister);

private:
    // Asked on the service's queue while the main thread may replace it.
    mutable std::mutex m_mutex;
    InterfaceLister m_lister;
};
