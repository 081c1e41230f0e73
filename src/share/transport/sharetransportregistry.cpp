#include "share/transport/sharetransportregistry.h"

#include "share/transport/desktopsharetransport.h"
#include "share/transport/outboxsharetransport.h"
#include "share/transport/sharelog.h"

ShareTransportRegistry& ShareTransportRegistry::sharedInstance() {
    static ShareTransportRegistry registry;
    return registry;
}

void ShareTransportRegistry::setTransports(
    const QList<std::shared_ptr<ShareTransport>>& transports) {
    m_transports = transports;
}

void ShareTransportRegistry::addTransport(std::shared_ptr<ShareTransport> transport) {
    if (transport)
        m_transports.append(std::move(transport));
}

void ShareTransportRegistry::clear() {
    m_transports.clear();
}

void ShareTransportRegistry::useApplicationTransports() {
    setTransports(
        {std::make_shared<OutboxShareTransport>(), std::make_shared<DesktopShareTransport>()});
}

bool ShareTransportRegistry::send(const SharePost& post, QWidget* presentingController) {
    if (m_transports.isEmpty()) {
        qCWarning(lcShare) << "share to" << post.platform << "dropped: no transport configured";
        return false;
    }
    bool allSent = true;
    // A copy, so that a transport that reconfigures the registry (a test)
    // cannot pull the list from under the loop.
    const auto transports = m_transports;
    for (const auto& transport : transports) {
        const bool sent = transport->send(post, presentingController);
        qCInfo(lcShare) << "share to" << post.platform << "via" << transport->name()
                        << (sent ? "sent" : "failed");
        allSent = allSent && sent;
    }
    return allSent;
}
