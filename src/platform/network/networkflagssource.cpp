#include "platform/network/networkflagssource.h"

#include <QNetworkInformation>
#include <QNetworkInterface>
#include <atomic>

namespace {
std::atomic<NetworkFlagsSource*> g_override{nullptr};

bool isOwnAddress(const QHostAddress& address, const NetworkFlagsSource::Snapshot& snapshot) {
    for (const auto& [own, prefix] : snapshot.localNetworks) {
        if (own.isEqual(address, QHostAddress::ConvertV4MappedToIPv4))
            return true;
    }
    return false;
}

bool isOnLocalNetwork(const QHostAddress& address, const NetworkFlagsSource::Snapshot& snapshot) {
    if (address.isLinkLocal())
        return true;
    for (const auto& [own, prefix] : snapshot.localNetworks) {
        if (address.isInSubnet(own, prefix))
            return true;
    }
    return false;
}
} // namespace

NetworkFlagsSource::NetworkFlagsSource(QObject* parent) : QObject(parent) {}

bool NetworkFlagsSource::flagsForTarget(const Target& target, quint32* flags) {
    *flags = flagsFor(target, currentSnapshot());
    return true;
}

NetworkFlagsSource& NetworkFlagsSource::shared() {
    if (NetworkFlagsSource* override = g_override.load())
        return *override;
    static NetworkFlagsSource* real = [] {
        auto* source = new NetworkFlagsSource;
        // Without a backend the interfaces alone tell; they report no
        // changes, so the notifier then stays quiet.
        if (QNetworkInformation::loadDefaultBackend()) {
            QNetworkInformation* info = QNetworkInformation::instance();
            QObject::connect(info, &QNetworkInformation::reachabilityChanged, source,
                             &NetworkFlagsSource::changed);
            QObject::connect(info, &QNetworkInformation::transportMediumChanged, source,
                             &NetworkFlagsSource::changed);
        }
        return source;
    }();
    return *real;
}

void NetworkFlagsSource::setShared(NetworkFlagsSource* source) {
    g_override.store(source);
}

NetworkFlagsSource::Snapshot NetworkFlagsSource::currentSnapshot() {
    Snapshot snapshot;
    if (QNetworkInformation* info = QNetworkInformation::instance()) {
        switch (info->reachability()) {
        case QNetworkInformation::Reachability::Online:
            snapshot.online = true;
            break;
        case QNetworkInformation::Reachability::Unknown:
            break;
        default:
            snapshot.online = false;
            break;
        }
        snapshot.cellular =
            info->transportMedium() == QNetworkInformation::TransportMedium::Cellular;
    }
    const auto usable = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        if ((interface.flags() & usable) != usable ||
            interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (!entry.ip().isNull() && !entry.ip().isLoopback())
                snapshot.localNetworks.append({entry.ip(), entry.prefixLength()});
        }
    }
    return snapshot;
}

quint32 NetworkFlagsSource::flagsFor(const Target& target, const Snapshot& snapshot) {
    const bool hasInterface = !snapshot.localNetworks.isEmpty();
    const QHostAddress& address = target.address;
    const bool isLocalHost =
        target.hostName.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;

    if (isLocalHost || (!address.isNull() && address.isLoopback()))
        return kReachable | kIsLocalAddress | kIsDirect;

    const bool isAny =
        target.hostName.isEmpty() && (address.isNull() || address.isEqual(QHostAddress::AnyIPv4) ||
                                      address.isEqual(QHostAddress::AnyIPv6));
    if (!isAny && target.hostName.isEmpty()) {
        if (isOwnAddress(address, snapshot))
            return kReachable | kIsLocalAddress | kIsDirect;
        // A neighbour on a local network is reached without a router,
        // whatever the internet does.
        if (isOnLocalNetwork(address, snapshot))
            return hasInterface ? (kReachable | kIsDirect) : 0;
    }

    const bool reachable = snapshot.online.value_or(hasInterface);
    if (!reachable)
        return 0;
    return kReachable | (snapshot.cellular ? kIsWWAN : 0);
}
