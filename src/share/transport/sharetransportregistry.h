#pragma once

#include "share/transport/sharetransport.h"

#include <QList>
#include <memory>

// The transports every post goes to, in order. Empty until the application
// (or a test) configures it; with none configured a post fails.
class ShareTransportRegistry {
public:
    static ShareTransportRegistry& sharedInstance();

    void setTransports(const QList<std::shared_ptr<ShareTransport>>& transports);
    void addTransport(std::shared_ptr<ShareTransport> transport);
    void clear();
    QList<std::shared_ptr<ShareTransport>> transports() const { return m_transports; }

    // The application's set: every post is kept in the outbox and goes out
    // through the desktop transport (browser, QR code).
    void useApplicationTransports();

    // Hands the post to every transport; true when there was at least one
    // and all of them took it.
    bool send(const SharePost& post, QWidget* presentingController);

private:
    ShareTransportRegistry() = default;

    QList<std::shared_ptr<ShareTransport>> m_transports;
};
