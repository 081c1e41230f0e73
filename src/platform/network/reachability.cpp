#include "platform/network/reachability.h"

#include "platform/system/notificationcenter.h"

#include <QObject>

Reachability::Reachability(NetworkFlagsSource::Target target, bool alwaysReturnLocalWiFiStatus)
    : m_target(std::move(target)), m_alwaysReturnLocalWiFiStatus(alwaysReturnLocalWiFiStatus) {}

Reachability::~Reachability() {
    stopNotifier();
}

std::unique_ptr<Reachability> Reachability::reachabilityWithHostName(const QString& hostName) {
    if (hostName.isEmpty())
        return nullptr;
    return std::unique_ptr<Reachability>(new Reachability({hostName, QHostAddress()}, false));
}

std::unique_ptr<Reachability> Reachability::reachabilityWithAddress(const QHostAddress& address) {
    if (address.isNull())
        return nullptr;
    return std::unique_ptr<Reachability>(new Reachability({QString(), address}, false));
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection() {
    return reachabilityWithAddress(QHostAddress(QHostAddress::AnyIPv4));
}

std::unique_ptr<Reachability> Reachability::reachabilityForLocalWiFi() {
    return std::unique_ptr<Reachability>(
        new Reachability({QString(), QHostAddress(QStringLiteral("169.254.0.0"))}, true));
}

bool Reachability::readFlags(quint32* flags) const {
    return NetworkFlagsSource::shared().flagsForTarget(m_target, flags);
}

Reachability::NetworkStatus Reachability::currentReachabilityStatus() const {
    quint32 flags = 0;
    if (!readFlags(&flags))
        return NotReachable;
    return m_alwaysReturnLocalWiFiStatus ? localWiFiStatusForFlags(flags)
                                         : networkStatusForFlags(flags);
}

bool Reachability::connectionRequired() const {
    quint32 flags = 0;
    return readFlags(&flags) && (flags & NetworkFlagsSource::kConnectionRequired);
}

Reachability::NetworkStatus Reachability::networkStatusForFlags(quint32 flags) {
    using S = NetworkFlagsSource;
    if (!(flags & S::kReachable))
        return NotReachable;
    NetworkStatus status = (flags & S::kConnectionRequired) ? NotReachable : ReachableViaWiFi;
    if ((flags & (S::kConnectionOnTraffic | S::kConnectionOnDemand)) &&
        !(flags & S::kInterventionRequired))
        status = ReachableViaWiFi;
    if (flags & S::kIsWWAN)
        status = ReachableViaWWAN;
    return status;
}

Reachability::NetworkStatus Reachability::localWiFiStatusForFlags(quint32 flags) {
    const quint32 both = NetworkFlagsSource::kReachable | NetworkFlagsSource::kIsDirect;
    return (flags & both) == both ? ReachableViaWiFi : NotReachable;
}

bool Reachability::startNotifier() {
    if (m_notifierContext)
        return true;
    m_notifierContext = std::make_unique<QObject>();
    m_lastFlagsRead = readFlags(&m_lastFlags);
    QObject::connect(&NetworkFlagsSource::shared(), &NetworkFlagsSource::changed,
                     m_notifierContext.get(), [this] { sourceChanged(); });
    return true;
}

void Reachability::stopNotifier() {
    m_notifierContext.reset();
}

void Reachability::sourceChanged() {
    quint32 flags = 0;
    const bool read = readFlags(&flags);
    // The source reports any change of the machine's connectivity; only a
    // change of this target's flags is news to the observers.
    if (read == m_lastFlagsRead && (!read || flags == m_lastFlags))
        return;
    m_lastFlagsRead = read;
    m_lastFlags = flags;
    NotificationCenter::defaultCenter().postNotificationName(kChangedNotification, this);
}
