#pragma once

#include "platform/network/networkflagssource.h"

#include <QHostAddress>
#include <QString>
#include <memory>

class QObject;

// Whether the machine can reach the internet, a host, an address or the
// local Wi-Fi network now, with an optional notifier that posts
// kChangedNotification (object: this Reachability) when that changes.
// Flags come from NetworkFlagsSource::shared().
class Reachability {
public:
    enum NetworkStatus { NotReachable = 0, ReachableViaWiFi = 1, ReachableViaWWAN = 2 };

    static inline const QString kChangedNotification =
        QStringLiteral("kNetworkReachabilityChangedNotification");

    // Each gives a new object, or null when the target cannot be watched
    // (an empty host name, a null address).
    static std::unique_ptr<Reachability> reachabilityWithHostName(const QString& hostName);
    static std::unique_ptr<Reachability> reachabilityWithAddress(const QHostAddress& address);
    // The IPv4 any-address 0.0.0.0.
    static std::unique_ptr<Reachability> reachabilityForInternetConnection();
    // The IPv4 link-local network 169.254.0.0, judged by the local Wi-Fi rule.
    static std::unique_ptr<Reachability> reachabilityForLocalWiFi();

    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // NotReachable when the flags cannot be read.
    NetworkStatus currentReachabilityStatus() const;
    // True only when the flags can be read and a connection must be made first.
    bool connectionRequired() const;

    // Posts on the calling thread; true when the notifier runs.
    bool startNotifier();
    void stopNotifier();

    static NetworkStatus networkStatusForFlags(quint32 flags);
    static NetworkStatus localWiFiStatusForFlags(quint32 flags);

    const NetworkFlagsSource::Target& target() const { return m_target; }

private:
    Reachability(NetworkFlagsSource::Target target, bool alwaysReturnLocalWiFiStatus);
    bool readFlags(quint32* flags) const;
    void sourceChanged();

    NetworkFlagsSource::Target m_target;
    bool m_alwaysReturnLocalWiFiStatus = false;
    // Lives on the thread that started the notifier, so change reports are
    // delivered there.
    std::unique_ptr<QObject> m_notifierContext;
    bool m_lastFlagsRead = false;
    quint32 m_lastFlags = 0;
};
